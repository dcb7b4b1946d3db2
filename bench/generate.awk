# Booking files for the benchmark, and the number of statements each must
# cost: one for the server time, then per booking what its kind calls for.
#   awk -v workload=a|b|c|d -v lines=N -v expected=FILE -f bench/generate.awk
# writes N lines to standard output and the statement count to FILE.
#   a  cost-centre bookings ("50p"): no database work
#   b  access bookings ("40p" with an access status): one insert each
#   c  time bookings of known holders: badge, booking type and code
#      mapping lookups, three statements each
#   d  a day's mix: access and time bookings, both at once, events,
#      access-only "dta" lines, zone bookings, cost-centre bookings, unknown
#      badges and codes, other terminals' lines and lines of no rule,
#      with CR LF line ends
# Every line has a time of its own, so no access row repeats another.
function stamp(i) {
  date = sprintf("2026%02d%02d", int(i / 86400) % 12 + 1, int(i / 1036800) % 28 + 1)
  time = sprintf("%02d%02d%02d", int(i / 3600) % 24, int(i / 60) % 60, i % 60)
}
# A time booking: badge lookup; a found holder adds the booking type lookup;
# a found type adds the code mapping lookup.
function timeBooking(badge, code) {
  if (badge !~ /^(1001|1002|2001)$/) return 1
  return code ~ /^(001|002|011)$/ ? 3 : 2
}
BEGIN {
  n = 1
  split("1001 1002 2001", badges, " ")
  split("001 002 011", codes, " ")
  split("1 U B Z S 9 X", statuses, " ")
  for (i = 0; i < lines; i++) {
    stamp(i)
    b = badges[i % 3 + 1]
    c = codes[i % 3 + 1]
    if (workload == "a") {
      printf "%d,,%s,%s,,T1,1,,%d,,,,,,,50p\n", 10000 + i % 90000, date, time, i % 10000000
    } else if (workload == "b") {
      printf "%s,,%s,%s,,T1,%d,,,,,%s,,,,40p\n", b, date, time, i % 4 + 1, statuses[i % 7 + 1]
      n += 1
    } else if (workload == "c") {
      printf "%s,,%s,%s,,T1,1,%s,KST%d,,X,,,,,40p\n", b, date, time, c, i % 100
      n += 3
    } else {
      k = i % 40
      if (k < 14) {
        printf "%s,,%s,%s,,T1,%d,,,,,%s,,,,40p\r\n", b, date, time, i % 4 + 1, statuses[i % 7 + 1]
        n += 1
      } else if (k < 22) {
        printf "%s,,%s,%s,,T1,1,%s,KST%d,,X,,,,,40p\r\n", b, date, time, c, i % 100
        n += 3
      } else if (k < 26) {
        printf "%s,,%s,%s,,T1,1,%s,,,X,1,,,,40p\r\n", b, date, time, c
        n += 3 + 1
      } else if (k < 28) {
        printf "%s,,%s,%s,,T1,2,017,,,,,17,,,dta\r\n", b, date, time
        n += 2
      } else if (k < 29) {
        printf ",,%s,%s,,T1,3,024,,,,,100,,,dta\r\n", date, time
        n += 1
      } else if (k < 30) {
        printf "%s,,%s,%s,,T1,1,002,,,,,100,,,dta\r\n", b, date, time
        n += 3
      } else if (k < 32) {
        printf "%s,,%s,%s,,T1,4,,,,,,12,7,,62p\r\n", b, date, time
        n += 2
      } else if (k < 36) {
        printf "%s,,%s,%s,,T1,1,,%d,,,,,,,50p\r\n", b, date, time, i % 1000
      } else if (k < 37) {
        printf "9%03d,,%s,%s,,T1,1,001,KST,,X,,,,,40p\r\n", i % 1000, date, time
        n += timeBooking("9", "001")
      } else if (k < 38) {
        printf "%s,,%s,%s,,T1,1,017,KST,,X,,,,,40p\r\n", b, date, time
        n += timeBooking(b, "017")
      } else if (k < 39) {
        printf "%s,,%s,%s,,T2,1,001,KST,,X,1,,,,40p\r\n", b, date, time
      } else {
        printf "%s,,%s,%s,,T1,1,001,,,,,,,,40p\r\n", b, date, time
      }
    }
  }
  print n > expected
}
