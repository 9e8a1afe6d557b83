#include "render/status_layout.h"

#include <cstring>

namespace {

struct Piece {
    const char *begin;
    const char *end;
};

float pieceWidth(Piece piece, TextWidth width) {
    char line[statusLineBytes];
    const size_t length = static_cast<size_t>(piece.end - piece.begin);
    memcpy(line, piece.begin, length);
    line[length] = '\0';
    return width(line);
}

// The longest start of [begin, end) that fits, broken at its last space, or inside a word that
// alone is wider than the block; never empty, so that every piece moves on.
Piece fittingPiece(const char *begin, const char *end, float blockWidth, TextWidth width) {
    float used = 0.0f;
    const char *fits = begin;
    for (const char *at = begin; at < end; at++) {
        const char one[2] = {*at, '\0'};
        used += width(one);
        if (used > blockWidth)
            break;
        fits = at + 1;
    }
    if (fits == end)
        return {begin, end};
    // The last space at or after what fits ends the piece, without the spaces before it.
    const char *space = fits;
    while (space > begin && *space != ' ')
        space--;
    while (space > begin && space[-1] == ' ')
        space--;
    if (*space == ' ' && space > begin)
        return {begin, space};
    return {begin, fits > begin ? fits : begin + 1};
}

void keep(StatusLayout *layout, Piece piece) {
    char *line = layout->lines[layout->count++];
    const size_t length = static_cast<size_t>(piece.end - piece.begin);
    memcpy(line, piece.begin, length);
    line[length] = '\0';
}

// The last line kept gives way to "..." at its end.
void markCut(char *line, float blockWidth, TextWidth width) {
    size_t length = strlen(line);
    if (length > statusLineBytes - 4)
        length = statusLineBytes - 4;
    for (;;) {
        while (length > 0 && line[length - 1] == ' ')
            length--;
        memcpy(line + length, "...", 4);
        if (length == 0 || width(line) <= blockWidth)
            return;
        length--;
    }
}

} // namespace

void layOutStatusText(const char *text, float blockWidth, int maxLines, TextWidth width,
                      StatusLayout *layout) {
    layout->count = 0;
    if (maxLines > maxStatusLines)
        maxLines = maxStatusLines;
    const char *p = text;
    while (*p != '\0') {
        const char *end = p;
        while (*end != '\0' && *end != '\n' && end - p < statusLineBytes - 1)
            end++;
        const char *next = *end == '\n' ? end + 1 : end;
        Piece rest = {p, end};
        do {
            Piece piece = rest;
            if (pieceWidth(rest, width) > blockWidth)
                piece = fittingPiece(rest.begin, rest.end, blockWidth, width);
            if (layout->count == maxLines) {
                if (maxLines > 0)
                    markCut(layout->lines[maxLines - 1], blockWidth, width);
                return;
            }
            keep(layout, piece);
            rest.begin = piece.end;
            while (rest.begin < rest.end && *rest.begin == ' ')
                rest.begin++; // the space a line was broken at is not drawn
        } while (rest.begin < rest.end);
        p = next;
    }
}

void layOutProgressLine(const char *text, float blockWidth, TextWidth width, StatusLayout *layout) {
    layout->count = 0;
    if (text[0] == '\0')
        return;
    const char *split = nullptr;
    if (width(text) > blockWidth)
        for (const char *at = strstr(text, " - "); at != nullptr; at = strstr(at + 1, " - "))
            split = at;
    StatusLayout part;
    char first[statusLineBytes];
    const size_t length = split ? static_cast<size_t>(split - text) : strlen(text);
    const size_t kept = length < sizeof first - 1 ? length : sizeof first - 1;
    memcpy(first, text, kept);
    first[kept] = '\0';
    const char *const pieces[2] = {first, split ? split + 3 : nullptr};
    for (const char *piece : pieces) {
        if (piece == nullptr)
            break;
        // A piece that is still too wide is cut, not wrapped: the line keeps its place.
        layOutStatusText(piece, blockWidth, 1, width, &part);
        if (part.count == 1)
            memcpy(layout->lines[layout->count++], part.lines[0], statusLineBytes);
    }
}
