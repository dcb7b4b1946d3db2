// A laid-out installation for the connection tests: a working folder two
// levels down, the configuration file where the tool looks for it, and the
// process's working directory moved there for the life of the object.
#pragma once

#include <unistd.h>

#include <stdexcept>
#include <string>

#include "config/value_cipher.h"
#include "test_support.h"

namespace tralvo {

class InstallationLayout {
 public:
  InstallationLayout() {
    testsupport::MakeDirs(dir_ / "Files");
    testsupport::MakeDirs(work_);
    char previous[4096];
    if (!getcwd(previous, sizeof previous)) throw std::runtime_error("getcwd failed");
    previous_ = previous;
    if (chdir(work_.c_str()) != 0) throw std::runtime_error("chdir failed");
  }
  ~InstallationLayout() {
    if (chdir(previous_.c_str()) != 0) {
      // The next test would run elsewhere; nothing better to do here.
    }
  }
  InstallationLayout(const InstallationLayout&) = delete;
  InstallationLayout& operator=(const InstallationLayout&) = delete;

  // Writes the configuration file with the four connection settings.
  void WriteSettings(const std::string& login, const std::string& password,
                     const std::string& database) {
    std::string file;
    int number = 1;
    for (const auto& [key, plain] : {std::pair<const char*, std::string>{"LOGIN", login},
                                     {"PASS", password},
                                     {"DB_SYSTEM", "MSSQL"},
                                     {"DATABASE", database}}) {
      file += ";DB;\r\n" + std::to_string(number++) + ";" + key + ";" + EncryptConfigValue(plain) +
              "\r\n";
    }
    testsupport::WriteFileBytes(dir_ / "Files/quorvex.ini", file);
  }

 private:
  testsupport::TempDir dir_;
  std::string work_ = dir_ / "Quorvex/bin";
  std::string previous_;
};

}  // namespace tralvo
