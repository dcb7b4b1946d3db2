// Generated booking files of random mixes (fixed seeds): every record of
// the run's terminal is accounted for. It reaches exactly the handlers its
// kind calls for, in file order, or it is reported, or its kind is one no
// rule transfers; the summary counts exactly what arrived.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "loop_harness.h"

namespace testsupport {
namespace {

// Each generated line carries its own id in field 1, so every handler call
// can be traced to its line.
struct Generated {
  std::string bytes;
  std::vector<std::string> calls;  // "handler:id", events as "event:id"
  long malformed = 0;
  long costCentreRecords = 0;
  long refusedCostCentres = 0;
  std::string costCentreFile;
};

// One line of 16 fields; id goes into field 1.
std::string Record(const std::string& id, const std::string& kind, const std::string& badge,
                   const std::string& terminal, const std::string& marker,
                   const std::string& access, const std::string& status, const std::string& code,
                   const std::string& date = "20090715") {
  return badge + "," + id + "," + date + ",073005,5," + terminal + ",3," + code + ",4711,9," +
         marker + "," + access + "," + status + ",13,14," + kind;
}

// The lines whose fields alone decide the handlers they reach: kind,
// marker (field 11), access (12), status (13) and code (8); the badge is
// generated unless given.
struct Plain {
  const char* kind;
  const char* marker;
  const char* access;
  const char* status;
  const char* code;
  std::vector<std::string> calls;
  const char* badge = nullptr;
};
const Plain kPlain[] = {
    {"40p", "X", "1", "", "001", {"time", "access"}},
    {"40p", "X", "", "", "001", {"time"}},
    {"40p", "", "U", "", "001", {"access"}},
    {"40p", "", "", "", "001", {}},  // no rule
    {"dta", "", "", "100", "001", {"time"}},
    {"dta", "", "", "100", "024", {"access"}},
    {"dta", "", "", "17", "001", {"access"}, " \t"},
    {"dta", "", "", "17", "001", {"event", "access"}},
    {"62p", "X", "1", "100", "024", {"access"}},
};
constexpr int kPlainKinds = sizeof kPlain / sizeof kPlain[0];

Generated Generate(unsigned seed, int lines) {
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  static const char* const kEnds[] = {"\n", "\r\n", "\r"};
  Generated g;
  for (int i = 0; i < lines; ++i) {
    std::string id = "id" + std::to_string(i);
    std::string badge = "B" + std::to_string(pick(100000));
    std::string line;
    std::vector<std::string> calls;
    int kind = pick(kPlainKinds + 7);
    switch (kind) {
      case kPlainKinds + 0:
        line = Record(id, "50p", badge.substr(0, 13), "T1", "", "", "", "001");
        calls = {"cost"};
        g.costCentreFile +=
            "150709073005" + (badge.substr(0, 13) + std::string(13, ' ')).substr(0, 13) + "0004711";
        ++g.costCentreRecords;
        break;
      case kPlainKinds + 1:  // a cost-centre booking with a short date: reported, not written
        line = Record(id, "50p", badge, "T1", "", "", "", "001", "2009071");
        calls = {"cost"};
        ++g.refusedCostCentres;
        break;
      case kPlainKinds + 2:
        line = Record(id, pick(2) ? "40P" : "xyz", badge, "T1", "X", "1", "", "001");
        break;
      case kPlainKinds + 3:
        line = Record(id, "62p", badge, pick(2) ? "T2" : "T1 ", "", "", "", "001");
        break;
      case kPlainKinds + 4:  // malformed: too few fields, a field too long, or a line too long
        switch (pick(3)) {
          case 0:
            line = badge + "," + id + ",20090715,073005,5,T1,3";
            break;
          case 1:
            line = Record(id, "62p", std::string(250, 'L'), "T1", "", "", "", "001");
            break;
          default:
            line = Record(id, "62p", badge, "T1", std::string(240, 'M'), std::string(240, 'M'), "",
                          "001");
        }
        ++g.malformed;
        break;
      case kPlainKinds + 5:
        line = std::string(static_cast<size_t>(pick(4)), ' ');
        break;               // empty line
      case kPlainKinds + 6:  // a zero byte that would hide the rest of the line
        line = Record(id, "62p", badge, "T1", "", "", "", "001");
        line.insert(static_cast<size_t>(pick(static_cast<int>(line.size()))), 1, '\0');
        ++g.malformed;
        break;
      default: {
        const Plain& p = kPlain[kind];
        line = Record(id, p.kind, p.badge ? p.badge : badge, "T1", p.marker, p.access, p.status,
                      p.code);
        calls = p.calls;
      }
    }
    g.bytes += line + kEnds[pick(3)];
    for (const std::string& call : calls) g.calls.push_back(call + ":" + id);
  }
  return g;
}

TEST(Conservation, EveryRecordOfTheTerminalIsAccountedForAndCountedOnce) {
  for (unsigned seed : {1u, 7u, 42u, 1999u, 20090715u}) {
    Generated g = Generate(seed, 3000);
    LoopRun run;
    ASSERT_EQ(run.Run(g.bytes), 0) << seed;

    std::vector<std::string> calls;
    for (size_t i = 0; i < run.handlers.calls.size(); ++i) {
      const HandlerCall& call = run.handlers.calls[i];
      // An event carries no id; it belongs to the access row that follows.
      std::string id =
          call.handler == "event" ? run.handlers.calls.at(i + 1).fields[1] : call.fields[1];
      calls.push_back(call.handler + ":" + id);
    }
    EXPECT_EQ(calls, g.calls) << seed;
    EXPECT_EQ(run.handlers.foreignRecords, 0);
    EXPECT_EQ(run.MalformedReports(), g.malformed) << seed;
    EXPECT_EQ(run.CostCentres(), g.costCentreFile) << seed;
    EXPECT_EQ(Occurrences(run.Log(), "----> Buchungsdatum ungueltig :"), g.refusedCostCentres);

    char summary[256];
    std::snprintf(
        summary, sizeof summary,
        "\xFC"
        "bergeben:\r\n   Zeitbuchungen         : %ld\r\n   Zutrittsbuchungen:    : %ld\r\n"
        "   Kostenstellenbuchungen: %ld\r\n   Ereignisse:           : %ld\r\n",
        run.handlers.timeCalls, run.handlers.accessCalls, g.costCentreRecords,
        run.handlers.eventCalls);
    EXPECT_NE(run.Log().find(summary), std::string::npos) << seed;
  }
}

}  // namespace
}  // namespace testsupport
