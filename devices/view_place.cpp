#include "devices/view_place.h"

#include <cstring>

const wchar_t kDeviceSeparatorLine[] = L"-----------------------------------------------";

namespace {

// One device block: its characters [start, end) and its lines
// [firstLine, lastLine]. Nothing is allocated: the lists can be long and a
// refresh must not fail for want of memory here.
struct Block {
    int start;
    int end;
    int firstLine;
    int lastLine;
};

class BlockCursor {
public:
    explicit BlockCursor(TextSpan text) : text_(text) {}

    bool Next(Block& block)
    {
        if (at_ >= text_.length)
            return false;
        block.start = at_;
        block.firstLine = line_;
        for (;;) {
            int lineStart = at_;
            int lineEnd = LineEnd(lineStart);
            bool broken = lineEnd < text_.length;
            at_ = broken ? lineEnd + 2 : text_.length;
            block.lastLine = line_;
            if (broken)
                ++line_;
            if (IsSeparator(lineStart, lineEnd) || at_ >= text_.length)
                break;
        }
        block.end = at_;
        return true;
    }

private:
    int LineEnd(int from) const
    {
        for (int i = from; i + 1 < text_.length; ++i)
            if (text_.chars[i] == L'\r' && text_.chars[i + 1] == L'\n')
                return i;
        return text_.length;
    }

    bool IsSeparator(int start, int end) const
    {
        const int length = static_cast<int>(sizeof kDeviceSeparatorLine / sizeof(wchar_t)) - 1;
        return end - start == length &&
               std::memcmp(text_.chars + start, kDeviceSeparatorLine, length * sizeof(wchar_t)) == 0;
    }

    TextSpan text_;
    int at_ = 0;
    int line_ = 0;
};

bool SameBlock(TextSpan a, const Block& x, TextSpan b, const Block& y)
{
    int length = x.end - x.start;
    return length == y.end - y.start &&
           std::memcmp(a.chars + x.start, b.chars + y.start, length * sizeof(wchar_t)) == 0;
}

// The block that holds line `line`, or character `at`.
bool BlockAtLine(TextSpan text, int line, Block& found)
{
    BlockCursor blocks(text);
    while (blocks.Next(found))
        if (found.firstLine <= line && line <= found.lastLine)
            return true;
    return false;
}

bool BlockAtChar(TextSpan text, int at, Block& found)
{
    BlockCursor blocks(text);
    while (blocks.Next(found))
        if (found.start <= at && at < found.end)
            return true;
    return false;
}

// The same device in `after`: the n-th block equal to `block`, where `block`
// is the n-th of its kind in `before`.
bool MatchingBlock(TextSpan before, const Block& block, TextSpan after, Block& match)
{
    int equalBefore = 0;
    BlockCursor earlier(before);
    Block other;
    while (earlier.Next(other) && other.start < block.start)
        equalBefore += SameBlock(before, other, before, block);
    BlockCursor later(after);
    while (later.Next(match))
        if (SameBlock(after, match, before, block) && equalBefore-- == 0)
            return true;
    return false;
}

// The lists scroll sideways and never wrap, so a line ended by CR LF is one
// line of the control and the control's line numbers are these counts.
int LineCount(TextSpan text)
{
    int lines = 1;
    for (int i = 0; i + 1 < text.length; ++i)
        lines += text.chars[i] == L'\r' && text.chars[i + 1] == L'\n';
    return lines;
}

// Character `at` of `before` in `after`, placed by the block that holds
// character `inside`: a range's end is placed by the character before it, so
// an end on a block's edge stays with its block.
bool MapChar(TextSpan before, TextSpan after, int at, int inside, int& mapped)
{
    Block block, match;
    if (!BlockAtChar(before, inside, block) || !MatchingBlock(before, block, after, match))
        return false;
    mapped = match.start + (at - block.start);
    return true;
}

// A caret never sits between CR and LF, nor between the halves of a
// surrogate pair.
int WholeCharacter(TextSpan text, int at)
{
    if (at <= 0 || at >= text.length)
        return at;
    wchar_t previous = text.chars[at - 1], next = text.chars[at];
    bool lineEnd = previous == L'\r' && next == L'\n';
    bool pair = previous >= 0xD800 && previous <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF;
    return lineEnd || pair ? at - 1 : at;
}

// A selection one of whose blocks left becomes a caret: at its start where
// that block is still there, else before the character after it, else at
// the same offset.
int CaretWhereBlockLeft(TextSpan before, TextSpan after, int start, int end)
{
    int mapped;
    if (MapChar(before, after, start, start, mapped))
        return mapped;
    if (end > start && MapChar(before, after, end, end, mapped))
        return mapped;
    return WholeCharacter(after, start < after.length ? start : after.length);
}

}  // namespace

ViewPlace KeepPlace(TextSpan before, TextSpan after, ViewPlace place)
{
    ViewPlace kept;
    Block top, match;
    if (BlockAtLine(before, place.firstLine, top) && MatchingBlock(before, top, after, match)) {
        kept.firstLine = match.firstLine + (place.firstLine - top.firstLine);
    } else {
        int last = LineCount(after) - 1;
        kept.firstLine = place.firstLine < last ? place.firstLine : last;
    }

    int start = place.selectionStart;
    int end = place.selectionEnd;
    int newStart, newEnd;
    if (MapChar(before, after, start, start, newStart) &&
        MapChar(before, after, end, end > start ? end - 1 : start, newEnd)) {
        kept.selectionStart = newStart;
        kept.selectionEnd = newEnd;
    } else {
        int caret = CaretWhereBlockLeft(before, after, start, end);
        kept.selectionStart = kept.selectionEnd = caret;
    }
    return kept;
}
