// The GTK window module, stripped, as bytes inside the program (see framework/ui/gui_module.h).
// Compiled into the program only; BI_GUI_MODULE_FILE names the module's stripped image. The
// bytes sit in a read-only section that is paged in only when a display is named.

// clang-format off
__asm__(
    "  .section .rodata.bi_gui_module,\"a\",@progbits\n"
    "  .balign 64\n"
    "  .globl bi_gui_module_image\n"
    "  .type bi_gui_module_image, @object\n"
    "bi_gui_module_image:\n"
    "  .incbin \"" BI_GUI_MODULE_FILE "\"\n"
    "bi_gui_module_image_end:\n"
    "  .size bi_gui_module_image, bi_gui_module_image_end - bi_gui_module_image\n"
    "  .balign 8\n"
    "  .globl bi_gui_module_image_size\n"
    "  .type bi_gui_module_image_size, @object\n"
    "  .size bi_gui_module_image_size, 8\n"
    "bi_gui_module_image_size:\n"
    "  .quad bi_gui_module_image_end - bi_gui_module_image\n"
    "  .previous\n");
// clang-format on
