// The verbs of the tralvo-ini companion command that need nothing but the
// configuration store: converting single values, writing a configuration
// file and listing one. The command line itself is read one layer up,
// where the verbs that connect live as well.
#pragma once

#include <cstdio>

namespace tralvo {

// Values typed at a terminal are stored as Windows-1252, whatever the
// terminal's character set; piped values are taken as their bytes. Texts
// of the configuration are shown in the terminal's character set.

// Exit statuses of tralvo-ini.
inline constexpr int kIniOk = 0;
inline constexpr int kIniFailed = 1;  // bad input, a file or connection that failed
inline constexpr int kIniUsage = 2;

// One value from in, its stored form to out.
int IniEncode(std::FILE* in, std::FILE* out, std::FILE* err) noexcept;
// One stored form from in, its value to out.
int IniDecode(std::FILE* in, std::FILE* out, std::FILE* err) noexcept;
// Asks for LOGIN, PASS, DB_SYSTEM and DATABASE (a data source name of 1 to
// 32 characters) on in, then LOGIN_TIMEOUT and QUERY_TIMEOUT with their
// defaults offered, and writes them as a complete configuration file at
// path.
int IniWrite(const char* path, std::FILE* in, std::FILE* err) noexcept;
// Lists the records of the configuration file at path, password masked;
// warns when others than its owner may read it.
int IniShow(const char* path, std::FILE* out, std::FILE* err) noexcept;

}  // namespace tralvo
