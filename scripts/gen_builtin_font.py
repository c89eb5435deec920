#!/usr/bin/env python3
"""Writes src/toolkit/font_builtin.cpp: the built-in font as a "FONT" version-1 image.

The glyphs below were drawn by hand for this project, one block per character: up to eight
rows of at most seven columns, '#' for ink and '.' for background. Capitals and digits stand
on row 6 and are seven rows tall; lower case is five rows tall (rows 2 to 6) and the
descenders of g, j, p, q and y reach row 7. Most glyphs use columns 0 to 4 and advance 6,
leaving a blank column between characters.

Image layout: "FONT", cell width and height (u32), first and last character (u8) at 12 and
13, table offset (u32) at 16, 0 (u32) at 20, the table at 24 (per character: u32 offset of
its bitmap, u32 advance), 8 spare bytes, then the bitmaps, one byte a pixel (255 = ink) and
56 bytes apart.

Run from the repository root: python3 scripts/gen_builtin_font.py
"""
import os
import sys

CELL_W, CELL_H = 7, 8
FIRST, LAST = 24, 156
TABLE = 24
SPARE = 8
ADVANCE = 6
INK = 255

GLYPHS = r"""
24 arrow up
..#..
.###.
#.#.#
..#..
..#..
..#..
..#..

25 arrow down
..#..
..#..
..#..
..#..
#.#.#
.###.
..#..

26 arrow right
.....
..#..
...#.
#####
...#.
..#..
.....

27 arrow left
.....
..#..
.#...
#####
.#...
..#..
.....

28 right angle
.....
.....
.....
#....
#....
#####
.....

29 left-right arrow
.....
.....
.#.#.
#####
.#.#.
.....
.....

30 triangle up
.....
..#..
..#..
.###.
.###.
#####
.....

31 triangle down
.....
#####
.###.
.###.
..#..
..#..
.....

32 space
.....

33 !
..#..
..#..
..#..
..#..
..#..
.....
..#..

34 "
.#.#.
.#.#.
.#.#.

35 #
.#.#.
.#.#.
#####
.#.#.
#####
.#.#.
.#.#.

36 $
..#..
.####
#.#..
.###.
..#.#
####.
..#..

37 %
##...
##..#
...#.
..#..
.#...
#..##
...##

38 &
.##..
#..#.
#.#..
.#...
#.#.#
#..#.
.##.#

39 '
..#..
..#..
.#...

40 (
...#.
..#..
.#...
.#...
.#...
..#..
...#.

41 )
.#...
..#..
...#.
...#.
...#.
..#..
.#...

42 *
.....
..#..
#.#.#
.###.
#.#.#
..#..
.....

43 +
.....
..#..
..#..
#####
..#..
..#..
.....

44 ,
.....
.....
.....
.....
.....
.##..
..#..
.#...

45 -
.....
.....
.....
#####
.....
.....
.....

46 .
.....
.....
.....
.....
.....
.##..
.##..

47 /
....#
....#
...#.
..#..
.#...
#....
#....

48 0
.###.
#...#
#..##
#.#.#
##..#
#...#
.###.

49 1
..#..
.##..
..#..
..#..
..#..
..#..
.###.

50 2
.###.
#...#
....#
...#.
..#..
.#...
#####

51 3
#####
...#.
..#..
...#.
....#
#...#
.###.

52 4
...#.
..##.
.#.#.
#..#.
#####
...#.
...#.

53 5
#####
#....
####.
....#
....#
#...#
.###.

54 6
..##.
.#...
#....
####.
#...#
#...#
.###.

55 7
#####
....#
...#.
..#..
.#...
.#...
.#...

56 8
.###.
#...#
#...#
.###.
#...#
#...#
.###.

57 9
.###.
#...#
#...#
.####
....#
...#.
.##..

58 :
.....
.##..
.##..
.....
.##..
.##..
.....

59 ;
.....
.##..
.##..
.....
.##..
..#..
.#...

60 <
...#.
..#..
.#...
#....
.#...
..#..
...#.

61 =
.....
.....
#####
.....
#####
.....
.....

62 >
.#...
..#..
...#.
....#
...#.
..#..
.#...

63 ?
.###.
#...#
....#
...#.
..#..
.....
..#..

64 @
.###.
#...#
#.###
#.#.#
#.###
#....
.###.

65 A
.###.
#...#
#...#
#####
#...#
#...#
#...#

66 B
####.
#...#
#...#
####.
#...#
#...#
####.

67 C
.###.
#...#
#....
#....
#....
#...#
.###.

68 D
###..
#..#.
#...#
#...#
#...#
#..#.
###..

69 E
#####
#....
#....
####.
#....
#....
#####

70 F
#####
#....
#....
####.
#....
#....
#....

71 G
.###.
#...#
#....
#.###
#...#
#...#
.####

72 H
#...#
#...#
#...#
#####
#...#
#...#
#...#

73 I
.###.
..#..
..#..
..#..
..#..
..#..
.###.

74 J
..###
...#.
...#.
...#.
...#.
#..#.
.##..

75 K
#...#
#..#.
#.#..
##...
#.#..
#..#.
#...#

76 L
#....
#....
#....
#....
#....
#....
#####

77 M
#...#
##.##
#.#.#
#.#.#
#...#
#...#
#...#

78 N
#...#
#...#
##..#
#.#.#
#..##
#...#
#...#

79 O
.###.
#...#
#...#
#...#
#...#
#...#
.###.

80 P
####.
#...#
#...#
####.
#....
#....
#....

81 Q
.###.
#...#
#...#
#...#
#.#.#
#..#.
.##.#

82 R
####.
#...#
#...#
####.
#.#..
#..#.
#...#

83 S
.####
#....
#....
.###.
....#
....#
####.

84 T
#####
..#..
..#..
..#..
..#..
..#..
..#..

85 U
#...#
#...#
#...#
#...#
#...#
#...#
.###.

86 V
#...#
#...#
#...#
#...#
#...#
.#.#.
..#..

87 W
#...#
#...#
#...#
#.#.#
#.#.#
#.#.#
.#.#.

88 X
#...#
#...#
.#.#.
..#..
.#.#.
#...#
#...#

89 Y
#...#
#...#
.#.#.
..#..
..#..
..#..
..#..

90 Z
#####
....#
...#.
..#..
.#...
#....
#####

91 [
.###.
.#...
.#...
.#...
.#...
.#...
.###.

92 backslash
#....
#....
.#...
..#..
...#.
....#
....#

93 ]
.###.
...#.
...#.
...#.
...#.
...#.
.###.

94 ^
..#..
.#.#.
#...#

95 _
.....
.....
.....
.....
.....
.....
.....
#####

96 `
.#...
..#..
...#.

97 a
.....
.....
.###.
....#
.####
#...#
.####

98 b
#....
#....
#.##.
##..#
#...#
#...#
####.

99 c
.....
.....
.###.
#....
#....
#...#
.###.

100 d
....#
....#
.##.#
#..##
#...#
#...#
.####

101 e
.....
.....
.###.
#...#
#####
#....
.###.

102 f
..##.
.#..#
.#...
###..
.#...
.#...
.#...

103 g
.....
.....
.####
#...#
#...#
.####
....#
.###.

104 h
#....
#....
#.##.
##..#
#...#
#...#
#...#

105 i
..#..
.....
.##..
..#..
..#..
..#..
.###.

106 j
...#.
.....
..##.
...#.
...#.
...#.
#..#.
.##..

107 k
#....
#....
#..#.
#.#..
##...
#.#..
#..#.

108 l
.##..
..#..
..#..
..#..
..#..
..#..
.###.

109 m
.....
.....
##.#.
#.#.#
#.#.#
#...#
#...#

110 n
.....
.....
#.##.
##..#
#...#
#...#
#...#

111 o
.....
.....
.###.
#...#
#...#
#...#
.###.

112 p
.....
.....
####.
#...#
#...#
####.
#....
#....

113 q
.....
.....
.####
#...#
#...#
.####
....#
....#

114 r
.....
.....
#.##.
##..#
#....
#....
#....

115 s
.....
.....
.####
#....
.###.
....#
####.

116 t
.#...
.#...
###..
.#...
.#...
.#..#
..##.

117 u
.....
.....
#...#
#...#
#...#
#..##
.##.#

118 v
.....
.....
#...#
#...#
#...#
.#.#.
..#..

119 w
.....
.....
#...#
#...#
#.#.#
#.#.#
.#.#.

120 x
.....
.....
#...#
.#.#.
..#..
.#.#.
#...#

121 y
.....
.....
#...#
#...#
#...#
.####
....#
.###.

122 z
.....
.....
#####
...#.
..#..
.#...
#####

123 {
...##
..#..
..#..
.#...
..#..
..#..
...##

124 |
..#..
..#..
..#..
..#..
..#..
..#..
..#..

125 }
##...
..#..
..#..
...#.
..#..
..#..
##...

126 ~
.....
.....
.#...
#.#.#
...#.
.....
.....

127 house
.....
..#..
.#.#.
#...#
#...#
#####
.....

155 cent
..#..
.###.
#.#..
#.#..
#.#.#
.###.
..#..

156 pound
..##.
.#..#
.#...
####.
.#...
.#...
#####
"""


def parse(text):
    """Blocks of '<code> <name>' followed by rows; returns {code: [rows]}."""
    glyphs = {}
    for block in text.strip().split("\n\n"):
        lines = block.strip().split("\n")
        code = int(lines[0].split()[0])
        rows = lines[1:]
        if code in glyphs:
            sys.exit("glyph %d drawn twice" % code)
        if not FIRST <= code <= LAST:
            sys.exit("glyph %d outside the font" % code)
        if len(rows) > CELL_H or any(len(r) > CELL_W or set(r) - set("#.") for r in rows):
            sys.exit("glyph %d does not fit the cell" % code)
        glyphs[code] = rows
    return glyphs


def build(glyphs):
    count = LAST - FIRST + 1
    bitmaps = TABLE + count * 8 + SPARE
    image = bytearray(bitmaps + count * CELL_W * CELL_H)
    image[0:4] = b"FONT"
    image[4:8] = CELL_W.to_bytes(4, "little")
    image[8:12] = CELL_H.to_bytes(4, "little")
    image[12] = FIRST
    image[13] = LAST
    image[16:20] = TABLE.to_bytes(4, "little")
    for i, code in enumerate(range(FIRST, LAST + 1)):
        offset = bitmaps + i * CELL_W * CELL_H
        entry = TABLE + i * 8
        image[entry:entry + 4] = offset.to_bytes(4, "little")
        image[entry + 4:entry + 8] = ADVANCE.to_bytes(4, "little")
        for y, row in enumerate(glyphs.get(code, [])):
            for x, ch in enumerate(row):
                if ch == "#":
                    image[offset + y * CELL_W + x] = INK
    return image


# Characters that must have ink: the arrows, printable ASCII and the pound sign.
REQUIRED = list(range(24, 28)) + list(range(33, 127)) + [156]


def main():
    glyphs = parse(GLYPHS)
    missing = [c for c in REQUIRED if "#" not in "".join(glyphs.get(c, []))]
    if missing:
        sys.exit("glyphs without ink: %s" % missing)
    image = build(glyphs)
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    out = os.path.join(root, "src", "toolkit", "font_builtin.cpp")
    lines = [
        "// The built-in font: a \"FONT\" version-1 image, 7 x 8 cells, characters %d to %d." % (FIRST, LAST),
        "// Generated by scripts/gen_builtin_font.py from glyphs drawn by hand for this project;",
        "// edit the glyphs there and run it again rather than editing this file.",
        "#include \"toolkit/text.h\"",
        "",
        "static_assert(FONT_BUILTIN_SIZE == %d, \"the built-in font image changed size\");" % len(image),
        "",
        "const uint8_t kBuiltInFont[FONT_BUILTIN_SIZE] = {",
    ]
    for i in range(0, len(image), 16):
        lines.append("    " + ", ".join("0x%02x" % b for b in image[i:i + 16]) + ",")
    lines.append("};")
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote %s (%d bytes of font)" % (out, len(image)))


if __name__ == "__main__":
    main()
