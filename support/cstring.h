// Reference-counted, copy-on-write UTF-16 string.
#pragma once

#include <windows.h>
#include <cstdarg>

struct TextBlock {
    LONG refCount;  // -1 only on SharedEmpty, which is never freed
    int length;     // characters in use, terminator not counted
    int capacity;   // characters the block can hold, terminator not counted
    wchar_t* Chars() { return reinterpret_cast<wchar_t*>(this + 1); }
};

class CString {
public:
    CString();
    CString(const wchar_t* text);  // a value <= 0xFFFF is a string-table id
    CString(const CString& other);
    CString(CString&& other) noexcept;
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const wchar_t* text) { AssignText(text); return *this; }
    void AssignText(const wchar_t* text);

    int Length() const { return Block()->length; }
    bool IsEmpty() const { return Length() == 0; }
    const wchar_t* Text() const { return chars; }
    operator const wchar_t*() const { return chars; }

    bool Equals(const CString& other) const;
    bool Equals(const wchar_t* other) const;
    int IndexOf(const wchar_t* needle) const;
    CString TakeRight(int n) const;

    static CString Concatenate(const CString& left, const CString& right);
    static CString Concatenate(const CString& left, const wchar_t* right);
    void AppendText(const CString& tail);
    void ToUpperInPlace();

    // Writable room for n characters plus a terminator; null when allocation
    // fails (the string is then unchanged).
    wchar_t* OpenBuffer(int n);
    wchar_t* OpenBufferWithLength(int n);
    void CloseBuffer();

    bool FormatText(const wchar_t* format, ...);
    bool FormatTextV(const wchar_t* format, va_list args);
    bool LoadFromStringTable(UINT id);

    // Introspection for tests and callers that reason about sharing.
    int Capacity() const { return Block()->capacity; }
    LONG RefCount() const { return Block()->refCount; }
    bool IsSharedEmpty() const;

private:
    TextBlock* Block() const { return reinterpret_cast<TextBlock*>(chars) - 1; }
    void Release();
    void UnshareBeforeWrite();

    wchar_t* chars;  // first character of a TextBlock
};

// Test hook for the block allocator: the next `successes` block allocations
// succeed and every later one fails; a negative value ends the failures.
void FailTextBlockAllocationsAfter(int successes);
