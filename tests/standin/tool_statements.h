// The statement texts the tool sends, byte for byte, with their %s and
// %ld placeholders, and a filler that puts values in as the tool's
// formatting does.
#pragma once

#include <initializer_list>
#include <string>

namespace standintest {

inline constexpr char kServerTime[] =
    "SELECT ( CONVERT(char(11), CURRENT_TIMESTAMP, 104) +          CONVERT(char(8), "
    "CURRENT_TIMESTAMP, 114)) ";

inline constexpr char kBadgeLookup[] =
    "SELECT  AswPnr, MndSch   FROM  KRIVAX.KVX301ASW, KRIVAX.KVX112MND  WHERE  AswNum = '%s'    "
    "AND  AswLiz = MndLiz    AND  AswMnd = MndNum    AND ( (convert(char(8), AswGvo, 112) <= '%s' "
    "AND AswGbi IS NULL)       OR (convert(char(8), AswGbi, 112) >= '%s' AND AswGvo IS NULL)       "
    "OR (convert(char(8), AswGvo, 112) <= '%s' AND           convert(char(8), AswGbi, 112) >= "
    "'%s'))";

inline constexpr char kBookingType[] = "SELECT  FcdTyp   FROM  Kvx131Fcd  WHERE  FcdNum = '%s'";

inline constexpr char kCodeMapping[] = "SELECT  FcdNew   FROM  Kvx131FcdUeb  WHERE  FcdOld = '%s'";

inline constexpr char kZoneNumber[] =
    "SELECT  DISTINCT ZzsNum   FROM  Krivax.Kvx405Zzs  WHERE  ZzsTcd = '%s'";

inline constexpr char kAccessInsert[] =
    "INSERT INTO KriVax.Kvx402Zpk    (ZpkTrm, ZpkLes,     ZpkDtm, ZpkUhr,     ZpkAsw, ZpkZus,     "
    "ZpkFcd, ZpkMld,     ZpkDat, ZpkLfd)  VALUES ('%s', '%ld',           convert(DATETIME, '%s', "
    "120),           convert(DATETIME, '%s', 120),          '%s', '%ld',          NULL, NULL,      "
    "    CURRENT_TIMESTAMP, '%s' )";

inline constexpr char kEventInsert[] =
    "INSERT INTO KRIVAX.O2009BUCHPROT    (BPRTRM, BPRZLS, BPRAWV,     BPRDAT, BPRDTE, BPRFCD,     "
    "BPRERG, BPRVAR)  VALUES ('%s', %ld, '%s',           convert(DATETIME, '%s', 120),           "
    "convert(DATETIME, '%s', 120),           '%s', %ld, '%s' )";

// Replaces each %s or %ld, in order, with the next value.
inline std::string Fill(const char* form, std::initializer_list<std::string> values) {
  std::string out;
  auto next = values.begin();
  for (const char* p = form; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += *next++;
      p += 1;
    } else if (p[0] == '%' && p[1] == 'l' && p[2] == 'd') {
      out += *next++;
      p += 2;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace standintest
