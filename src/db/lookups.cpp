// The lookup queries. The statement forms are the exact texts the
// installation's database is queried with; blanks included.
#include "db/lookups.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "db/database.h"
#include "db/statement.h"
#include "shared/time_booking_line.h"

namespace tralvo {

namespace {

constexpr std::string_view kBadgeForm =
    "SELECT  AswPnr, MndSch   FROM  KRIVAX.KVX301ASW, KRIVAX.KVX112MND  WHERE  AswNum = '%s'    "
    "AND  AswLiz = MndLiz    AND  AswMnd = MndNum    AND ( (convert(char(8), AswGvo, 112) <= '%s' "
    "AND AswGbi IS NULL)       OR (convert(char(8), AswGbi, 112) >= '%s' AND AswGvo IS NULL)       "
    "OR (convert(char(8), AswGvo, 112) <= '%s' AND           convert(char(8), AswGbi, 112) >= "
    "'%s'))";
constexpr std::string_view kBookingTypeForm =
    "SELECT  FcdTyp   FROM  Kvx131Fcd  WHERE  FcdNum = '%s'";
constexpr std::string_view kCodeMappingForm =
    "SELECT  FcdNew   FROM  Kvx131FcdUeb  WHERE  FcdOld = '%s'";
constexpr std::string_view kZoneForm =
    "SELECT  DISTINCT ZzsNum   FROM  Krivax.Kvx405Zzs  WHERE  ZzsTcd = '%s'";

// The text a character column delivered: up to its terminator.
std::string_view ColumnText(const char* buffer, size_t size) {
  return std::string_view(buffer, strnlen(buffer, size));
}

}  // namespace

DbResult LookupBadge(Database& db, std::string_view badge, std::string_view date,
                     TimeBookingLine& line) {
  char personnelNumber[9];
  char schema[21];
  SQLLEN personnelIndicator = 0;
  SQLLEN schemaIndicator = 0;
  DbResult result =
      RunStatement(db, kBadgeForm, {badge, date, date, date, date},
                   {{SQL_C_CHAR, personnelNumber, sizeof personnelNumber, &personnelIndicator},
                    {SQL_C_CHAR, schema, sizeof schema, &schemaIndicator}});
  if (!result.done()) return result;
  // A NULL column leaves the caller's text as it was.
  if (personnelIndicator != SQL_NULL_DATA)
    line.personnelNumber.assign(ColumnText(personnelNumber, sizeof personnelNumber));
  if (schemaIndicator != SQL_NULL_DATA) line.schema.assign(ColumnText(schema, sizeof schema));
  return result;
}

DbResult LookupBookingType(Database& db, std::string_view code, std::string& out) {
  SQLSMALLINT type = 0;
  SQLLEN indicator = 0;
  DbResult result =
      RunStatement(db, kBookingTypeForm, {code}, {{SQL_C_SHORT, &type, sizeof type, &indicator}});
  if (!result.done()) return result;
  if (indicator == SQL_NULL_DATA) type = 0;
  char digits[8];
  auto end = std::to_chars(digits, digits + sizeof digits, type).ptr;
  out.assign(digits, static_cast<size_t>(end - digits));
  return result;
}

DbResult LookupCodeMapping(Database& db, std::string_view code, std::string& out) {
  char newCode[21];
  std::memset(newCode, 0, sizeof newCode);
  SQLLEN indicator = 0;
  DbResult result = RunStatement(db, kCodeMappingForm, {code},
                                 {{SQL_C_CHAR, newCode, sizeof newCode, &indicator}});
  if (!result.done()) return result;
  if (indicator == SQL_NULL_DATA) newCode[0] = '\0';
  out.assign(ColumnText(newCode, sizeof newCode));
  return result;
}

DbResult LookupZoneNumber(Database& db, std::string_view prefix, std::string_view suffix,
                          int32_t& out) {
  // The zone code is built whole, however long the two parts are. A
  // fixed buffer is enough for every real zone code; longer ones are rare
  // enough for the one allocation.
  char local[64];
  std::string longCode;
  std::string_view zoneCode;
  if (prefix.size() + suffix.size() <= sizeof local) {
    std::copy(suffix.begin(), suffix.end(), std::copy(prefix.begin(), prefix.end(), local));
    zoneCode = std::string_view(local, prefix.size() + suffix.size());
  } else {
    longCode.append(prefix).append(suffix);
    zoneCode = longCode;
  }
  SQLINTEGER number = 0;
  SQLLEN indicator = 0;
  DbResult result =
      RunStatement(db, kZoneForm, {zoneCode}, {{SQL_C_LONG, &number, sizeof number, &indicator}});
  if (!result.done()) return result;
  out = indicator == SQL_NULL_DATA ? 0 : static_cast<int32_t>(number);
  return result;
}

}  // namespace tralvo
