// The shared board's lock when a process dies holding it: the next caller takes it over at once
// and finds the memory as the dead process left it.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "sim/shared_memory.h"

namespace boardsim {
namespace {

TEST(SharedMemory, ALockWhoseHolderDiedIsTakenOver) {
  const std::string name = "boardstat-test-" + std::to_string(getpid());
  std::string error;
  const auto memory = open_shared_memory(name, 64, &error);
  ASSERT_TRUE(memory) << error;
  const pid_t child = fork();
  if (child == 0) {
    const auto mine = open_shared_memory(name, 64, &error);
    mine->lock();
    static_cast<char*>(mine->bytes())[0] = 7;
    kill(getpid(), SIGKILL);  // dies in the middle of a call
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  alarm(10);  // a lock that is never given back fails here rather than hang
  memory->lock();
  EXPECT_EQ(static_cast<char*>(memory->bytes())[0], 7);
  memory->unlock();
  memory->lock();  // made consistent: an ordinary lock from now on
  memory->unlock();
  alarm(0);
  EXPECT_FALSE(open_shared_memory(name, 128, &error)) << "another size is another board";
  shm_unlink(("/boardsim-" + name).c_str());
}

}  // namespace
}  // namespace boardsim
