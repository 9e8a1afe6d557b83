// Laying the status text out inside the status block: lines that fit stay as they are, a wider
// line is wrapped, and what does not fit below is cut with "...".
#pragma once

constexpr int statusLineBytes = 256; // a line as drawTextLines copies it: 255 bytes and a NUL
constexpr int maxStatusLines = 6;    // baselines 82 down to 12 lie inside the window

struct StatusLayout {
    int count;
    char lines[maxStatusLines][statusLineBytes];
};

// The width of a text as the status lines draw it.
typedef float (*TextWidth)(const char *text);

// Splits `text` at its line feeds as drawTextLines does (an empty line counts, a final line feed
// adds none, a line of more than 255 bytes goes on in the next). A line no wider than
// `blockWidth` is kept byte for byte; a wider one is broken at its last space that fits (the
// space is dropped), or inside a word that alone is wider than the block. At most `maxLines`
// lines are kept; when more would follow, the last one kept ends in "...".
void layOutStatusText(const char *text, float blockWidth, int maxLines, TextWidth width,
                      StatusLayout *layout);

// The progress line under the status lines: one line when it fits, else two, broken after its
// figures at its last " - " (the time left goes to the second line); each cut with "..." should
// it still not fit.
void layOutProgressLine(const char *text, float blockWidth, TextWidth width, StatusLayout *layout);
