# The counterpart of tralvo on cost-centre bookings: the 32-byte records of
# one terminal's "50p" lines (DDMMYY, HHMMSS, badge number left-aligned in
# 13 columns, cost centre right-aligned in 7 with leading zeros, a column
# left empty when its value is too long), without separators, as a short
# script would write them. It handles plain lines (no quotes, no blanks
# around fields) as the benchmark writes them.
#   mawk -v terminal=T1 -f bench/reference.awk BOOKINGFILE >COSTCENTREFILE
BEGIN { FS = ","; zeros = "0000000" }
$6 == terminal && $16 == "50p" {
  badge = length($1) > 13 ? "" : $1
  cost = length($9) > 7 ? "" : $9
  printf "%s%s%s%s%-13s%s%s", substr($3, 7, 2), substr($3, 5, 2), substr($3, 3, 2), $4, badge, substr(zeros, length(cost) + 1), cost
}
