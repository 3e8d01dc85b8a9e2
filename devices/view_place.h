// Where a reader is in a device list, and where that place falls once the
// list's text has been rebuilt. Plain text in, plain numbers out: the edit
// control calls live with the list views.
#pragma once

// The line that ends every device block of a list.
extern const wchar_t kDeviceSeparatorLine[];

struct ViewPlace {
    int firstLine;       // the first visible line, counted from 0
    int selectionStart;  // characters; start == end is a bare caret
    int selectionEnd;
};

struct TextSpan {
    const wchar_t* chars;
    int length;
};

// The place in `after` that matches `place` in `before`. A text is a run of
// device blocks, each ended by its separator line. The block at the top of
// the view stays at the top, on the same line of its block, while the same
// block is still in `after` (the n-th of equal blocks matches the n-th);
// otherwise the view keeps its line number, cut to the lines `after` has. A
// selection follows its block when both of its ends do, and otherwise
// becomes a caret: where its start went, else where the character after it
// went, else at
// its start's offset cut to the length of `after`, never inside a CR LF or
// a surrogate pair. Lines are CR LF lines: the lists never wrap.
ViewPlace KeepPlace(TextSpan before, TextSpan after, ViewPlace place);
