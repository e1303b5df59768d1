"""glyph_table.py TABLE: checks that each 8 x 13 cell of the glyph table lights exactly the
segments of what it shows, as '#', which catches a slip in the table."""

import sys

# Each segment's pixels: a (top), b (upper right), c (lower right), d (bottom), e (lower
# left), f (upper left), g (middle); p the colon's dots and the full stop.
SEGMENTS = {"a": [(x, 0) for x in range(2, 7)], "b": [(7, y) for y in range(1, 6)],
            "c": [(7, y) for y in range(7, 12)], "d": [(x, 12) for x in range(2, 7)],
            "e": [(1, y) for y in range(7, 12)], "f": [(1, y) for y in range(1, 6)],
            "g": [(x, 6) for x in range(2, 7)], "p": [(2, 4), (2, 8), (6, 12)]}
# Cell by cell: unlit, 0 to 9, narrow one, unlit middle, minus, colon and full stop.
CELLS = ["", "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg",
         "abcdfg", "bc", "", "g", "p"]

rows = open(sys.argv[1]).read().split()
lit = {(x, y) for y, row in enumerate(rows) for x, symbol in enumerate(row) if symbol == "#"}
wanted = {(8 * cell + x, y) for cell, segments in enumerate(CELLS)
          for segment in segments for x, y in SEGMENTS[segment]}
assert lit == wanted, ("lit, not wanted", sorted(lit - wanted), "not lit", sorted(wanted - lit))
