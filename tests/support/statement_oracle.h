// The statement oracle: the texts the tool sends, byte for byte, with
// their %s and %ld placeholders, written out here once more than in the
// tool so that a slip in its own copy shows; a filler that puts values in;
// and each statement as a test expects it, its values given as text.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace testsupport {

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

inline std::string BadgeStatement(const std::string& badge, const std::string& date) {
  return Fill(kBadgeLookup, {badge, date, date, date, date});
}
inline std::string BookingTypeStatement(const std::string& code) {
  return Fill(kBookingType, {code});
}
inline std::string CodeMappingStatement(const std::string& code) {
  return Fill(kCodeMapping, {code});
}
inline std::string ZoneStatement(const std::string& zoneCode) {
  return Fill(kZoneNumber, {zoneCode});
}
// day and moment as "YYYY-MM-DD HH:MM:SS".
inline std::string AccessStatement(const std::string& terminal, const std::string& reader,
                                   const std::string& day, const std::string& moment,
                                   const std::string& badge, const std::string& status) {
  return Fill(kAccessInsert, {terminal, reader, day, moment, badge, status, "001"});
}
inline std::string EventStatement(const std::string& terminal, const std::string& reader,
                                  const std::string& badge, const std::string& moment,
                                  const std::string& code, const std::string& status) {
  return Fill(kEventInsert, {terminal, reader, badge, moment, moment, code, status, ""});
}

// Whether statement is one the tool sends (and not one the driver sends
// around a connection of its own accord).
inline bool IsToolStatement(const std::string& statement) {
  for (const char* form : {kServerTime, kBadgeLookup, kBookingType, kCodeMapping, kZoneNumber,
                           kAccessInsert, kEventInsert}) {
    std::string_view fixed(form);
    fixed = fixed.substr(0, fixed.find('%'));
    if (statement.compare(0, fixed.size(), fixed) == 0) return true;
  }
  return false;
}

}  // namespace testsupport
