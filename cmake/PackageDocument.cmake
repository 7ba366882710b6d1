# Copies the document SOURCE to DESTINATION with its links to the benchmarks' sources, which the
# Windows zip does not hold, turned into their plain text.
# Usage: set SOURCE and DESTINATION, then include this file (at install time).
file(READ "${SOURCE}" text)
string(REGEX REPLACE "\\[([^]]*)\\]\\(\\.\\./bench/[^)]*\\)" "\\1" text "${text}")
file(WRITE "${DESTINATION}" "${text}")
