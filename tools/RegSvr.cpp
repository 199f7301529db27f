// varnkit-regsvr: registers a component module for this user, or removes its registration.
//
//   varnkit-regsvr [-u] [-s] <module path>
//
// -u unregisters, -s keeps quiet. Exit status: 0 done, 1 bad arguments, 3 the module cannot
// be loaded, 4 it lacks the entry point, 5 the entry point reported a failure.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/com/Module.h"

namespace {

using namespace varnkit::com;

enum Exit { kDone = 0, kBadArguments = 1, kCannotLoad = 3, kNoEntryPoint = 4, kFailed = 5 };

struct Options {
  bool unregister = false;
  bool silent = false;
  std::string path;
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-u") {
      options.unregister = true;
    } else if (arg == "-s") {
      options.silent = true;
    } else if (arg.starts_with("-") || !options.path.empty()) {
      return false;
    } else {
      options.path = arg;
    }
  }
  return !options.path.empty();
}

const char* meaning(HRESULT hr) {
  if (hr == SELFREG_E_TYPELIB) return " (the type library could not be registered)";
  if (hr == SELFREG_E_CLASS) return " (the classes could not be registered)";
  return "";
}

int run(const Options& options) {
  const char* entry = options.unregister ? kDllUnregisterServer : kDllRegisterServer;
  std::shared_ptr<Module> module;
  std::string why;
  const HRESULT loaded = Module::load(options.path, module, why);
  if (failed(loaded)) {
    if (!options.silent) std::fprintf(stderr, "varnkit-regsvr: %s\n", why.c_str());
    return loaded == CO_E_ERRORINDLL ? kNoEntryPoint : kCannotLoad;
  }
  // The process ends right after: unloading would only take down the libraries the module
  // brought in, and with them their process-wide objects, for nothing.
  module->keepLoaded();
  const HRESULT hr = options.unregister ? module->unregisterServer() : module->registerServer();
  if (failed(hr)) {
    if (!options.silent)
      std::fprintf(stderr, "varnkit-regsvr: %s in %s failed: %s%s\n", entry, options.path.c_str(),
                   resultText(hr).c_str(), meaning(hr));
    return kFailed;
  }
  if (!options.silent) std::printf("%s in %s succeeded.\n", entry, options.path.c_str());
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: varnkit-regsvr [-u] [-s] <module path>\n");
    return kBadArguments;
  }
  return run(options);
}
