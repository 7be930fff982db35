#include "framework/loop/poll_run_loop.h"

#include "framework/loop/run_loop_contract.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Poll, RunLoopContractTest, fw::PollRunLoop);
