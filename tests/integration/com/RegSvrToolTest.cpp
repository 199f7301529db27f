// The registration command as a user runs it: registering, unregistering, keeping quiet, and
// telling failures apart by exit status.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "tests/integration/com/ComTestSupport.h"

namespace varnkit::com::testing {
namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error
};

Outcome regsvr(const std::string& arguments) {
  const std::string command = std::string(REGSVR_PATH) + " " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) outcome.output += buffer;
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

class RegSvrTool : public TemporaryRegistry {};

TEST_F(RegSvrTool, RegistersAndUnregistersTheModule) {
  const Outcome registered = regsvr(midiModule());
  EXPECT_EQ(registered.status, 0);
  EXPECT_EQ(registered.output, "DllRegisterServer in " + midiModule() + " succeeded.\n");
  EXPECT_TRUE(findClass(readRegistry(), kMI));
  const Outcome unregistered = regsvr("-u -s " + midiModule());
  EXPECT_EQ(unregistered.status, 0);
  EXPECT_EQ(unregistered.output, "");
  EXPECT_TRUE(readRegistry().empty());
}

TEST_F(RegSvrTool, FailuresAreToldApartByExitStatus) {
  EXPECT_EQ(regsvr("").status, 1);
  EXPECT_EQ(regsvr("-x " + midiModule()).status, 1);
  EXPECT_EQ(regsvr(midiModule() + " " + midiModule()).status, 1);
  const Outcome missing = regsvr("-s " + folder + "/missing.ocx");
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.output, "") << "silent";
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dlopen), &info), 0);
  EXPECT_EQ(regsvr(info.dli_fname).status, 4);
  std::ofstream(folder + "/VarnKit") << "a file where the folder should be";
  const Outcome refused = regsvr(midiModule());
  EXPECT_EQ(refused.status, 5);
  EXPECT_NE(refused.output.find("failed: 0x80040200"), std::string::npos) << refused.output;
}

}  // namespace
}  // namespace varnkit::com::testing
