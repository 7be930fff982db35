#include "framework/poll_run_loop.h"

#include "framework/run_loop_contract.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Poll, RunLoopContractTest, fw::PollRunLoop);
