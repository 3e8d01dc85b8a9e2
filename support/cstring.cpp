#include "support/cstring.h"

#include "support/module_instance.h"
#include "support/text_format.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

struct EmptyBlock {
    TextBlock header;
    wchar_t terminator;
};
static_assert(offsetof(EmptyBlock, terminator) == sizeof(TextBlock), "characters follow the header");

EmptyBlock sharedEmpty = {{-1, 0, 0}, 0};

// Larger blocks could not be sized in 32 bits.
constexpr int kMaxBlockChars = (0x7FFFFFFF - static_cast<int>(sizeof(TextBlock))) / 2 - 1;

int allocationsBeforeFailure = -1;  // test hook; negative: never fail

wchar_t* EmptyChars() { return sharedEmpty.header.Chars(); }

TextBlock* AllocateBlock(int n)
{
    if (n <= 0 || n > kMaxBlockChars) return nullptr;
    if (allocationsBeforeFailure == 0) return nullptr;
    if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
    void* memory = ::operator new(sizeof(TextBlock) + (n + 1) * sizeof(wchar_t), std::nothrow);
    if (!memory) return nullptr;
    TextBlock* block = static_cast<TextBlock*>(memory);
    block->refCount = 1;
    block->length = n;
    block->capacity = n;
    block->Chars()[n] = 0;
    return block;
}

// Characters of a new block holding text[0..n), SharedEmpty for n == 0,
// null when the allocation fails.
wchar_t* NewCopy(const wchar_t* text, int n)
{
    if (n <= 0) return EmptyChars();
    TextBlock* block = AllocateBlock(n);
    if (!block) return nullptr;
    std::memcpy(block->Chars(), text, n * sizeof(wchar_t));
    return block->Chars();
}

wchar_t* NewCopyOrEmpty(const wchar_t* text, int n)
{
    wchar_t* copy = NewCopy(text, n);
    return copy ? copy : EmptyChars();
}

int TextLength(const wchar_t* text) { return text ? static_cast<int>(wcslen(text)) : 0; }

}  // namespace

void FailTextBlockAllocationsAfter(int successes) { allocationsBeforeFailure = successes; }

CString::CString() : chars(EmptyChars()) {}

CString::CString(const wchar_t* text) : chars(EmptyChars())
{
    if (reinterpret_cast<ULONG_PTR>(text) <= 0xFFFF) {
        if (text) LoadFromStringTable(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)));
        return;
    }
    chars = NewCopyOrEmpty(text, TextLength(text));
}

CString::CString(const CString& other) : chars(EmptyChars())
{
    if (other.RefCount() >= 0) {
        InterlockedIncrement(&other.Block()->refCount);
        chars = other.chars;
    } else {
        chars = NewCopyOrEmpty(other.chars, other.Length());
    }
}

CString::CString(CString&& other) noexcept : chars(other.chars) { other.chars = EmptyChars(); }

CString::~CString() { Release(); }

CString& CString::operator=(const CString& other)
{
    if (chars == other.chars) return *this;
    if ((RefCount() < 0 && !IsSharedEmpty()) || other.RefCount() < 0) {
        AssignText(other.chars);
        return *this;
    }
    InterlockedIncrement(&other.Block()->refCount);
    Release();
    chars = other.chars;
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other) {
        Release();
        chars = other.chars;
        other.chars = EmptyChars();
    }
    return *this;
}

void CString::AssignText(const wchar_t* text)
{
    const int n = TextLength(text);
    if (RefCount() > 1 || n > Capacity()) {
        Release();
        chars = NewCopyOrEmpty(text, n);
        return;
    }
    if (IsSharedEmpty()) return;  // n is 0: nothing to write
    std::memcpy(chars, text, n * sizeof(wchar_t));
    Block()->length = n;
    chars[n] = 0;
}

void CString::Release()
{
    if (IsSharedEmpty()) return;
    TextBlock* block = Block();
    chars = EmptyChars();
    if (InterlockedDecrement(&block->refCount) <= 0) ::operator delete(block);
}

bool CString::IsSharedEmpty() const { return Block() == &sharedEmpty.header; }

bool CString::Equals(const CString& other) const { return wcscmp(chars, other.chars) == 0; }

bool CString::Equals(const wchar_t* other) const { return wcscmp(chars, other ? other : L"") == 0; }

int CString::IndexOf(const wchar_t* needle) const
{
    if (!needle) return -1;
    const wchar_t* found = wcsstr(chars, needle);
    return found ? static_cast<int>(found - chars) : -1;
}

CString CString::TakeRight(int n) const
{
    if (n < 0) n = 0;
    if (n > Length()) n = Length();
    CString result;
    result.chars = NewCopyOrEmpty(chars + Length() - n, n);
    return result;
}

static CString ConcatenateTexts(const wchar_t* left, int leftLength, const wchar_t* right, int rightLength)
{
    CString result;
    if (rightLength > 0x7FFFFFFF - leftLength) return result;  // the total would overflow
    const int total = leftLength + rightLength;
    wchar_t* buffer = result.OpenBufferWithLength(total);
    if (!buffer) return result;
    std::memcpy(buffer, left, leftLength * sizeof(wchar_t));
    std::memcpy(buffer + leftLength, right, rightLength * sizeof(wchar_t));
    return result;
}

CString CString::Concatenate(const CString& left, const CString& right)
{
    return ConcatenateTexts(left.chars, left.Length(), right.chars, right.Length());
}

CString CString::Concatenate(const CString& left, const wchar_t* right)
{
    return ConcatenateTexts(left.chars, left.Length(), right ? right : L"", TextLength(right));
}

void CString::AppendText(const CString& tail)
{
    const int n = tail.Length();
    if (n == 0) return;
    const int length = Length();
    if (RefCount() <= 1 && n <= Capacity() - length) {
        std::memmove(chars + length, tail.chars, n * sizeof(wchar_t));
        Block()->length = length + n;
        chars[length + n] = 0;
        return;
    }
    if (n > kMaxBlockChars - length) return;  // no block could hold the sum
    TextBlock* block = AllocateBlock(length + n);
    if (!block) return;
    std::memcpy(block->Chars(), chars, length * sizeof(wchar_t));
    std::memcpy(block->Chars() + length, tail.chars, n * sizeof(wchar_t));
    Release();
    chars = block->Chars();
}

void CString::ToUpperInPlace()
{
    UnshareBeforeWrite();
    if (Length() > 0) CharUpperBuffW(chars, Length());
}

void CString::UnshareBeforeWrite()
{
    if (RefCount() <= 1) return;
    wchar_t* copy = NewCopyOrEmpty(chars, Length());
    Release();
    chars = copy;
}

wchar_t* CString::OpenBuffer(int n)
{
    if (n < 0) n = 0;
    if (RefCount() <= 1 && n <= Capacity()) return chars;
    const int length = Length();
    const int size = n > length ? n : length;
    if (size == 0) {
        Release();
        return chars;
    }
    TextBlock* block = AllocateBlock(size);
    if (!block) return nullptr;
    std::memcpy(block->Chars(), chars, (length + 1) * sizeof(wchar_t));
    block->length = length;
    Release();
    chars = block->Chars();
    return chars;
}

wchar_t* CString::OpenBufferWithLength(int n)
{
    if (n < 0) n = 0;
    wchar_t* buffer = OpenBuffer(n);
    if (buffer && !IsSharedEmpty()) {
        Block()->length = n;
        buffer[n] = 0;
    }
    return buffer;
}

void CString::CloseBuffer()
{
    UnshareBeforeWrite();
    if (IsSharedEmpty()) return;
    // Bounded by the room, so a caller that filled it without a terminator
    // cannot send the count past the block.
    const int length = static_cast<int>(wcsnlen(chars, Capacity()));
    Block()->length = length;
    chars[length] = 0;
}

bool CString::FormatText(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool done = FormatTextV(format, args);
    va_end(args);
    return done;
}

bool CString::FormatTextV(const wchar_t* format, va_list args)
{
    if (!format) return false;
    int room = 0;
    if (!EstimateFormattedLength(format, args, &room)) return false;
    wchar_t* buffer = OpenBuffer(room);
    if (!buffer) return false;
    FormatBounded(buffer, room, format, args);  // on SharedEmpty the room is 0: only its 0 is rewritten
    CloseBuffer();
    return true;
}

bool CString::LoadFromStringTable(UINT id)
{
    constexpr int kFirstSize = 256;
    wchar_t first[kFirstSize];
    int result = LoadStringW(ResourceInstance(), id, first, kFirstSize);
    if (result <= 0) {
        result = 0;
        first[0] = 0;
    }
    if (kFirstSize - result > 1) {
        AssignText(first);
        return result > 0 && !IsEmpty();  // a failed assignment is no success
    }
    // The entry may have been cut: grow until it fits with room to spare.
    int size = kFirstSize;
    do {
        size += 256;
        wchar_t* buffer = OpenBuffer(size - 1);
        if (!buffer) {
            result = 0;
            break;
        }
        result = LoadStringW(ResourceInstance(), id, buffer, size);
    } while (size - result <= 1);
    CloseBuffer();
    return result > 0;
}
