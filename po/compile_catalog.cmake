# Compiles the catalog PO into OUTPUT with msgfmt --check, once it is known to translate every
# message of the template TEMPLATE, none of them fuzzy: a language that falls short fails the
# build rather than show English in the middle of its own words. Run as:
# cmake -DMSGFMT=... -DMSGCMP=... -DMSGATTRIB=... -DPO=... -DTEMPLATE=... -DOUTPUT=... -P ...
execute_process(COMMAND ${MSGCMP} ${PO} ${TEMPLATE} RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
  message(FATAL_ERROR "${PO} does not translate every message of ${TEMPLATE}:\n${why}")
endif()
foreach(kind untranslated only-fuzzy)
  execute_process(COMMAND ${MSGATTRIB} --${kind} --no-obsolete ${PO} OUTPUT_VARIABLE found
                  RESULT_VARIABLE failed)
  if(failed OR NOT found STREQUAL "")
    message(FATAL_ERROR "${PO} has messages that are ${kind}:\n${found}")
  endif()
endforeach()
execute_process(COMMAND ${MSGFMT} --check --statistics -o ${OUTPUT} ${PO}
                RESULT_VARIABLE failed ERROR_VARIABLE said)
if(failed OR said MATCHES "warning")
  message(FATAL_ERROR "msgfmt --check ${PO}:\n${said}")
endif()
