// Runs the in-process connection tests from inside a laid-out
// installation: the process's working directory is the installation's
// working folder for the life of the object, so the tool's relative paths
// find its configuration.
#pragma once

#include <unistd.h>

#include <stdexcept>
#include <string>

#include "installation.h"

namespace tralvo {

class InstalledWorkingDirectory {
 public:
  InstalledWorkingDirectory() {
    char previous[4096];
    if (!getcwd(previous, sizeof previous)) throw std::runtime_error("getcwd failed");
    previous_ = previous;
    if (chdir(installation_.work().c_str()) != 0) throw std::runtime_error("chdir failed");
  }
  ~InstalledWorkingDirectory() {
    if (chdir(previous_.c_str()) != 0) {
      // The next test would run elsewhere; nothing better to do here.
    }
  }
  InstalledWorkingDirectory(const InstalledWorkingDirectory&) = delete;
  InstalledWorkingDirectory& operator=(const InstalledWorkingDirectory&) = delete;

  const testsupport::Installation& installation() const { return installation_; }

 private:
  testsupport::Installation installation_;
  std::string previous_;
};

}  // namespace tralvo
