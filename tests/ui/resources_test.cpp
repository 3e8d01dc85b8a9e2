// The resources of the built Ostrivo.exe, read back from the image as the
// loader sees them: dialog templates, icon group, manifest, version record.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "system_owned.h"
#include "tests/kit/beside.h"
#include "ui/resources/resource.h"

namespace {

const std::wstring kImagePath = BesideThisProgram(L"Ostrivo.exe");
const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

// Bounds-checked reads over a resource, so a malformed one fails the test
// instead of reading past its end.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    size_t offset() const { return offset_; }
    void Seek(size_t offset) { offset <= size_ ? void(offset_ = offset) : void(ok_ = false); }
    void AlignTo4() { Seek((offset_ + 3) & ~size_t(3)); }

    template <typename T> T Read()
    {
        T value{};
        if (offset_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }

    std::wstring ReadString()
    {
        std::wstring text;
        for (WORD c; ok_ && (c = Read<WORD>()) != 0;)
            text += static_cast<wchar_t>(c);
        return text;
    }

    // A name or ordinal field of a dialog template: "#n" for an ordinal.
    std::wstring ReadNameOrOrdinal()
    {
        size_t start = offset_;
        if (Read<WORD>() == 0xFFFF)
            return L"#" + std::to_wstring(Read<WORD>());
        Seek(start);
        return ReadString();
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

struct Blob {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

std::vector<WORD> LanguagesOf(HMODULE image, LPCWSTR type, LPCWSTR name)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(image, type, name, AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

class ResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetLastError(0xdeadbeef);
        image_ = ModuleHandle(LoadLibraryExW(kImagePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        loadError_ = GetLastError();
    }
    static void TearDownTestSuite()
    {
        image_.Reset();
    }
    void SetUp() override
    {
        ASSERT_TRUE(image_) << "cannot load the image, error " << loadError_;
    }

    // The resource in language 2052; empty when it is missing.
    static Blob Find(LPCWSTR type, LPCWSTR name)
    {
        Blob blob;
        HRSRC found = FindResourceExW(image_.Get(), type, name, kChinesePrc);
        HGLOBAL loaded = found ? LoadResource(image_.Get(), found) : nullptr;
        if (loaded) {
            blob.data = static_cast<const BYTE*>(LockResource(loaded));
            blob.size = SizeofResource(image_.Get(), found);
        }
        return blob;
    }

    static ModuleHandle image_;
    static DWORD loadError_;
};

ModuleHandle ResourcesTest::image_;
DWORD ResourcesTest::loadError_ = 0;

TEST_F(ResourcesTest, EveryResourceCarriesOnlyTheChineseLanguage)
{
    const struct {
        LPCWSTR type;
        int id;
    } resources[] = {
        {RT_DIALOG, IDD_MAIN_DIALOG}, {RT_DIALOG, IDD_ABOUT_DIALOG},
        {RT_GROUP_ICON, IDI_APP_ICON}, {RT_MANIFEST, 1}, {RT_VERSION, 1},
    };
    for (const auto& r : resources) {
        SCOPED_TRACE(r.id);
        EXPECT_EQ(LanguagesOf(image_.Get(), r.type, MAKEINTRESOURCEW(r.id)),
                  std::vector<WORD>{kChinesePrc});
    }
}

// ---- dialog templates ------------------------------------------------------

struct Control {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring className, text;
    WORD extraBytes;
};

struct Template {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    std::wstring menu, className, title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring face;
    std::vector<Control> controls;
};

std::wstring ClassName(std::wstring name)
{
    static const wchar_t* const ordinals[] = {L"button", L"edit", L"static",
                                              L"listbox", L"scrollbar", L"combobox"};
    for (int i = 0; i < 6; ++i)
        if (name == L"#" + std::to_wstring(0x80 + i))
            return ordinals[i];
    CharLowerW(&name[0]);
    return name;
}

bool ParseTemplate(const Blob& blob, Template* t)
{
    Reader r(blob.data, blob.size);
    t->version = r.Read<WORD>();
    t->signature = r.Read<WORD>();
    t->helpId = r.Read<DWORD>();
    t->exStyle = r.Read<DWORD>();
    t->style = r.Read<DWORD>();
    WORD count = r.Read<WORD>();
    t->x = r.Read<short>();
    t->y = r.Read<short>();
    t->cx = r.Read<short>();
    t->cy = r.Read<short>();
    t->menu = r.ReadNameOrOrdinal();
    t->className = r.ReadNameOrOrdinal();
    t->title = r.ReadString();
    if (t->style & DS_SETFONT) {
        t->pointSize = r.Read<WORD>();
        t->weight = r.Read<WORD>();
        t->italic = r.Read<BYTE>();
        t->charset = r.Read<BYTE>();
        t->face = r.ReadString();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
        Control c;
        r.AlignTo4();
        c.helpId = r.Read<DWORD>();
        c.exStyle = r.Read<DWORD>();
        c.style = r.Read<DWORD>();
        c.x = r.Read<short>();
        c.y = r.Read<short>();
        c.cx = r.Read<short>();
        c.cy = r.Read<short>();
        c.id = r.Read<DWORD>();
        c.className = ClassName(r.ReadNameOrOrdinal());
        c.text = r.ReadNameOrOrdinal();
        c.extraBytes = r.Read<WORD>();
        r.Seek(r.offset() + c.extraBytes);
        t->controls.push_back(c);
    }
    return r.ok();
}

struct ExpectedControl {
    DWORD id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    short x, y, cx, cy;
};

struct ExpectedTemplate {
    int resource;
    const wchar_t* title;
    DWORD style;
    short cx, cy;
    std::vector<ExpectedControl> controls;
};

const DWORD kStatic = DWORD(-1);
const DWORD kListStyle = WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                         ES_AUTOHSCROLL | ES_READONLY;
const wchar_t kAboutFirstLines[] = L"Ostrivo 应用程序 v1.0\n\n";

const ExpectedTemplate kTemplates[] = {
    {IDD_MAIN_DIALOG, L"VID、PID获取工具", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT,
     329, 242,
     {
         {IDCANCEL, L"button", L"退出", WS_TABSTOP | BS_PUSHBUTTON, 275, 223, 47, 14},
         {IDC_ALL_DEVICES, L"edit", L"", kListStyle, 7, 24, 264, 101},
         {IDC_REFRESH, L"button", L"刷新", WS_TABSTOP | BS_DEFPUSHBUTTON | BS_MULTILINE,
          274, 71, 48, 25},
         {kStatic, L"static", L"当前所有设备：", WS_GROUP | SS_LEFT, 7, 14, 58, 8},
         {IDC_SET_BASELINE, L"button", L"将当前列表设置为基准",
          WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 274, 30, 48, 27},
         {IDC_CHANGED_DEVICES, L"edit", L"", kListStyle, 7, 139, 265, 98},
         {kStatic, L"static", L"新连接或移除的设备：", WS_GROUP | SS_LEFT, 7, 129, 82, 8},
         {IDC_DEVICE_COUNT, L"static", L"*", WS_GROUP | SS_LEFT, 69, 14, 50, 8},
         {IDC_DRIVE_LETTER, L"edit", L"", WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
          296, 173, 26, 14},
         {IDC_GET_HARDWARE_ID, L"button", L"获取硬件id", WS_TABSTOP | BS_PUSHBUTTON,
          278, 193, 44, 14},
         {IDC_DRIVE_LABEL, L"static", L"盘符", WS_GROUP | SS_LEFT, 277, 176, 17, 8},
     }},
    {IDD_ABOUT_DIALOG, L"关于", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
     187, 113,
     {
         {IDOK, L"button", L"确认", WS_TABSTOP | BS_DEFPUSHBUTTON, 130, 92, 50, 14},
         // The notice after the first two lines is checked on its own.
         {kStatic, L"static", kAboutFirstLines, WS_GROUP | SS_CENTER, 25, 57, 78, 41},
         {kStatic, L"static", L"#128", SS_ICON, 55, 26, 21, 21},
         {kStatic, L"button", L"", BS_GROUPBOX, 7, 7, 115, 99},
     }},
};

TEST_F(ResourcesTest, DialogTemplatesMatchTheirLayout)
{
    for (const ExpectedTemplate& want : kTemplates) {
        SCOPED_TRACE(want.resource);
        Blob blob = Find(RT_DIALOG, MAKEINTRESOURCEW(want.resource));
        ASSERT_NE(blob.data, nullptr);
        Template got;
        ASSERT_TRUE(ParseTemplate(blob, &got)) << "template runs past its end";

        EXPECT_EQ(got.version, 1);
        EXPECT_EQ(got.signature, 0xFFFF);
        EXPECT_EQ(got.helpId, 0u);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.style, want.style);
        EXPECT_EQ(got.x, 0);
        EXPECT_EQ(got.y, 0);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.menu, L"");
        EXPECT_EQ(got.className, L"");
        EXPECT_EQ(got.title, want.title);
        EXPECT_EQ(got.pointSize, 9);
        EXPECT_EQ(got.weight, 0);
        EXPECT_EQ(got.italic, 0);
        EXPECT_EQ(got.charset, 0);
        EXPECT_EQ(got.face, L"宋体");

        ASSERT_EQ(got.controls.size(), want.controls.size());
        for (size_t i = 0; i < want.controls.size(); ++i) {
            const ExpectedControl& w = want.controls[i];
            const Control& c = got.controls[i];
            SCOPED_TRACE(testing::Message() << "control #" << i + 1);
            EXPECT_EQ(c.id, w.id);
            EXPECT_EQ(c.className, w.className);
            if (w.text == kAboutFirstLines)
                EXPECT_EQ(c.text.substr(0, wcslen(w.text)), w.text);
            else
                EXPECT_EQ(c.text, w.text);
            EXPECT_EQ(c.style, WS_CHILD | WS_VISIBLE | w.style);
            EXPECT_EQ(c.exStyle, 0u);
            EXPECT_EQ(c.helpId, 0u);
            EXPECT_EQ(c.x, w.x);
            EXPECT_EQ(c.y, w.y);
            EXPECT_EQ(c.cx, w.cx);
            EXPECT_EQ(c.cy, w.cy);
            EXPECT_EQ(c.extraBytes, 0);
        }
    }
}

TEST_F(ResourcesTest, AboutTextIsThreeLinesSeparatedByLineFeedsOnly)
{
    Template about;
    ASSERT_TRUE(ParseTemplate(Find(RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUT_DIALOG)), &about));
    ASSERT_GE(about.controls.size(), 2u);
    const std::wstring& text = about.controls[1].text;
    size_t prefix = wcslen(kAboutFirstLines);
    ASSERT_EQ(text.substr(0, prefix), kAboutFirstLines);
    std::wstring notice = text.substr(prefix);
    EXPECT_FALSE(notice.empty());
    EXPECT_EQ(text.find(L'\r'), std::wstring::npos);
    EXPECT_EQ(notice.find(L'\n'), std::wstring::npos);
}

// ---- icon ------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The sizes the window icons take at 100 to 200 % (16 to 64 px) and
// Explorer's largest view (256 px, PNG-compressed) are all there.
TEST_F(ResourcesTest, IconGroupHoldsElevenSquareSizesAt32Bits)
{
    Blob group = Find(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP_ICON));
    ASSERT_NE(group.data, nullptr);
    Reader r(group.data, group.size);
    EXPECT_EQ(r.Read<WORD>(), 0);
    EXPECT_EQ(r.Read<WORD>(), 1);  // icons, not cursors
    const int sizes[] = {256, 128, 96, 72, 64, 48, 40, 32, 24, 20, 16};
    ASSERT_EQ(r.Read<WORD>(), std::size(sizes));
    for (int size : sizes) {
        SCOPED_TRACE(size);
        GroupIconEntry e = r.Read<GroupIconEntry>();
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(e.width, size % 256);  // 0 stands for 256
        EXPECT_EQ(e.height, size % 256);
        EXPECT_EQ(e.bitCount, 32);

        // The image itself must agree with its directory entry.
        Blob image = Find(RT_ICON, MAKEINTRESOURCEW(e.id));
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, e.bytes);
        Reader header(image.data, image.size);
        if (size == 256) {
            const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            ASSERT_GE(image.size, 33u);
            EXPECT_EQ(memcmp(image.data, signature, 8), 0);
            EXPECT_EQ(memcmp(image.data + 12, "IHDR", 4), 0);
            const BYTE* ihdr = image.data + 16;  // big-endian width, height
            EXPECT_EQ(ihdr[0] << 24 | ihdr[1] << 16 | ihdr[2] << 8 | ihdr[3], size);
            EXPECT_EQ(ihdr[4] << 24 | ihdr[5] << 16 | ihdr[6] << 8 | ihdr[7], size);
            EXPECT_EQ(ihdr[8], 8);  // bits a channel
            EXPECT_EQ(ihdr[9], 6);  // RGBA
            EXPECT_LT(image.size, 16u * 1024) << "the PNG keeps the largest image small";
            continue;
        }
        EXPECT_EQ(header.Read<DWORD>(), sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(header.Read<LONG>(), size);
        EXPECT_EQ(header.Read<LONG>(), 2 * size);  // colour rows and mask rows
        EXPECT_EQ(header.Read<WORD>(), 1);
        EXPECT_EQ(header.Read<WORD>(), 32);
    }
}

TEST_F(ResourcesTest, PlatformPicksAndBuildsTheIconOfTheAskedSize)
{
    Blob group = Find(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP_ICON));
    ASSERT_NE(group.data, nullptr);
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        SCOPED_TRACE(size);
        int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data), TRUE, size, size,
                                             LR_DEFAULTCOLOR);
        ASSERT_NE(id, 0);
        Blob image = Find(RT_ICON, MAKEINTRESOURCEW(id));
        ASSERT_NE(image.data, nullptr);
        // The image picked is the one drawn at that size, not a scaled one.
        const BYTE png[4] = {0x89, 'P', 'N', 'G'};
        ASSERT_GE(image.size, 24u);
        const BYTE* side = image.data + 16;  // a PNG's big-endian width
        EXPECT_EQ(memcmp(image.data, png, 4) == 0
                      ? side[0] << 24 | side[1] << 16 | side[2] << 8 | side[3]
                      : reinterpret_cast<const BITMAPINFOHEADER*>(image.data)->biWidth,
                  size);
        SetLastError(0xdeadbeef);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE,
                                              0x00030000, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr) << GetLastError();
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof bitmap, &bitmap));
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// ---- manifest --------------------------------------------------------------

// The opening tag of the first element `name` at or after `from`.
std::string Element(const std::string& xml, const std::string& name, size_t from = 0)
{
    size_t start = xml.find("<" + name + " ", from);
    if (start == std::string::npos)
        return std::string();
    size_t end = xml.find('>', start);
    return xml.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
}

std::string Attribute(const std::string& element, const std::string& name)
{
    std::string key = " " + name + "=\"";
    size_t start = element.find(key);
    if (start == std::string::npos)
        return "<missing>";
    start += key.size();
    return element.substr(start, element.find('"', start) - start);
}

TEST_F(ResourcesTest, ManifestNamesTheProgramAndDependsOnCommonControls6)
{
    Blob blob = Find(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_NE(blob.data, nullptr);
    std::string xml(reinterpret_cast<const char*>(blob.data), blob.size);

    std::string own = Element(xml, "assemblyIdentity");
    size_t dependency = xml.find("<dependentAssembly>");
    ASSERT_NE(dependency, std::string::npos);
    EXPECT_LT(xml.find(own), dependency);
    std::string controls = Element(xml, "assemblyIdentity", dependency);

    const struct {
        const std::string* element;
        const char* attribute;
        const char* value;
    } expected[] = {
#ifdef _WIN64
        {&own, "processorArchitecture", "amd64"},
        {&controls, "processorArchitecture", "amd64"},
#else
        {&own, "processorArchitecture", "x86"},
        {&controls, "processorArchitecture", "x86"},
#endif
        {&own, "name", "Ostrivo"},
        {&own, "version", "1.0.0.0"},
        {&own, "type", "win32"},
        {&controls, "type", "win32"},
        {&controls, "name", "Microsoft.Windows.Common-Controls"},
        {&controls, "version", "6.0.0.0"},
        {&controls, "publicKeyToken", "6595b64144ccf1df"},
        {&controls, "language", "*"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(Attribute(*e.element, e.attribute), e.value) << e.attribute;
    EXPECT_NE(xml.find("<description>Ostrivo Application</description>"), std::string::npos);
    EXPECT_EQ(xml.find("<dependentAssembly>", dependency + 1), std::string::npos)
        << "more than one dependency";
}

// The text between `<name ...>` and `</name>` of the first such element, and
// its opening tag; "<missing>" when there is none.
std::pair<std::string, std::string> ElementText(const std::string& xml, const std::string& name)
{
    std::string open = Element(xml, name);
    size_t start = xml.find(open);
    size_t end = xml.find("</" + name + ">", start);
    if (open.empty() || end == std::string::npos)
        return {"<missing>", "<missing>"};
    start += open.size();
    return {open, xml.substr(start, end - start)};
}

// Whether `inner` lies inside the element `outer` whose opening tag is `tag`.
bool Inside(const std::string& xml, const std::string& tag, const std::string& outer,
            const std::string& inner)
{
    size_t start = xml.find(tag), at = xml.find(inner);
    size_t end = xml.find("</" + outer + ">", start);
    return start != std::string::npos && at != std::string::npos &&
           end != std::string::npos && start < at && at < end;
}

TEST_F(ResourcesTest, ManifestAsksForInvokerRightsWindows7To11AndDpiAwareness)
{
    Blob blob = Find(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_NE(blob.data, nullptr);
    std::string xml(reinterpret_cast<const char*>(blob.data), blob.size);

    std::string trust = Element(xml, "trustInfo");
    EXPECT_EQ(Attribute(trust, "xmlns"), "urn:schemas-microsoft-com:asm.v3");
    std::string level = Element(xml, "requestedExecutionLevel");
    EXPECT_TRUE(Inside(xml, trust, "trustInfo", level));
    EXPECT_EQ(Attribute(level, "level"), "asInvoker");
    EXPECT_EQ(Attribute(level, "uiAccess"), "false");

    std::string compatibility = Element(xml, "compatibility");
    EXPECT_EQ(Attribute(compatibility, "xmlns"), "urn:schemas-microsoft-com:compatibility.v1");
    const char* const systems[] = {
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
    };
    size_t from = 0;
    for (const char* id : systems) {
        std::string os = Element(xml, "supportedOS", from);
        EXPECT_EQ(Attribute(os, "Id"), id);
        EXPECT_TRUE(Inside(xml, compatibility, "compatibility", os)) << id;
        from = xml.find(os, from) + 1;
    }
    EXPECT_EQ(Element(xml, "supportedOS", from), "") << "an entry beyond Windows 7 to 11";

    // Windows 7 to 8.1 read the first, Windows 10 from 1607 the second.
    std::string application = Element(xml, "application");
    EXPECT_EQ(Attribute(application, "xmlns"), "urn:schemas-microsoft-com:asm.v3");
    const struct {
        const char* name;
        const char* space;
        const char* value;
    } dpi[] = {
        {"dpiAware", "http://schemas.microsoft.com/SMI/2005/WindowsSettings", "true"},
        {"dpiAwareness", "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
         "PerMonitorV2, System"},
    };
    for (const auto& d : dpi) {
        auto [tag, text] = ElementText(xml, d.name);
        EXPECT_EQ(Attribute(tag, "xmlns"), d.space) << d.name;
        EXPECT_EQ(text, d.value) << d.name;
        EXPECT_TRUE(Inside(xml, application, "application", tag)) << d.name;
    }
}

// ---- version record --------------------------------------------------------

struct VersionNode {
    std::wstring key;
    std::vector<BYTE> binary;
    std::wstring text;
    std::vector<VersionNode> children;
};

// One node of the version tree: length, value length, type, key, value and
// children, each part aligned to 32 bits from the start of the record.
bool ParseVersionNode(Reader& r, size_t limit, VersionNode* node)
{
    size_t start = r.offset();
    WORD length = r.Read<WORD>();
    WORD valueLength = r.Read<WORD>();
    WORD type = r.Read<WORD>();
    size_t end = start + length;
    if (!r.ok() || length < 6 || end > limit)
        return false;
    node->key = r.ReadString();
    r.AlignTo4();
    if (type == 1) {
        size_t valueEnd = r.offset() + valueLength * sizeof(WCHAR);
        for (size_t i = 0; i < valueLength && r.ok(); ++i) {
            WORD c = r.Read<WORD>();
            if (c == 0)
                break;
            node->text += static_cast<wchar_t>(c);
        }
        r.Seek(valueEnd);
    } else {
        for (WORD i = 0; i < valueLength && r.ok(); ++i)
            node->binary.push_back(r.Read<BYTE>());
    }
    r.AlignTo4();
    while (r.ok() && r.offset() < end) {
        VersionNode child;
        if (!ParseVersionNode(r, end, &child))
            return false;
        node->children.push_back(child);
        r.AlignTo4();
    }
    r.Seek(end);
    return r.ok();
}

const VersionNode* Child(const VersionNode& node, const wchar_t* key)
{
    for (const VersionNode& child : node.children)
        if (child.key == key)
            return &child;
    return nullptr;
}

TEST_F(ResourcesTest, VersionRecordHoldsTheFixedAndStringValues)
{
    Blob blob = Find(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_NE(blob.data, nullptr);
    Reader r(blob.data, blob.size);
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(r, blob.size, &root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");

    ASSERT_EQ(root.binary.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, root.binary.data(), sizeof fixed);
    const struct {
        const char* field;
        DWORD got, want;
    } fields[] = {
        {"signature", fixed.dwSignature, 0xFEEF04BD},
        {"file version high", fixed.dwFileVersionMS, 0x00010000},
        {"file version low", fixed.dwFileVersionLS, 0x00000003},
        {"product version high", fixed.dwProductVersionMS, 0x00010000},
        {"product version low", fixed.dwProductVersionLS, 0x00000003},
        {"flags mask", fixed.dwFileFlagsMask, 0x3F},
        {"flags", fixed.dwFileFlags, 0},
        {"os", fixed.dwFileOS, VOS__WINDOWS32},
        {"type", fixed.dwFileType, VFT_DLL},
        {"subtype", fixed.dwFileSubtype, 0},
    };
    for (const auto& f : fields)
        EXPECT_EQ(f.got, f.want) << f.field;

    const VersionNode* strings = Child(root, L"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1u);
    const VersionNode& table = strings->children[0];
    EXPECT_EQ(table.key, L"040904b0");
    const struct {
        const wchar_t* key;
        const wchar_t* value;  // null: any non-empty text
    } entries[] = {
        {L"FileDescription", L"Ostrivo Module"}, {L"FileVersion", L"1, 0, 0, 3"},
        {L"InternalName", L"Ostrivo"},           {L"LegalCopyright", nullptr},
        {L"OriginalFilename", L"Ostrivo.exe"},   {L"ProductName", L"Ostrivo Module"},
        {L"ProductVersion", L"1, 0, 0, 3"},
    };
    ASSERT_EQ(table.children.size(), std::size(entries));
    for (size_t i = 0; i < std::size(entries); ++i) {
        SCOPED_TRACE(testing::Message() << "entry #" << i + 1);
        EXPECT_EQ(table.children[i].key, entries[i].key);
        if (entries[i].value)
            EXPECT_EQ(table.children[i].text, entries[i].value);
        else
            EXPECT_FALSE(table.children[i].text.empty());
    }

    const VersionNode* vars = Child(root, L"VarFileInfo");
    ASSERT_NE(vars, nullptr);
    const VersionNode* translation = Child(*vars, L"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->binary, (std::vector<BYTE>{0x09, 0x04, 0xB0, 0x04}));
}

TEST_F(ResourcesTest, PlatformReadsTheVersionRecord)
{
    SetLastError(0xdeadbeef);
    DWORD size = GetFileVersionInfoSizeW(kImagePath.c_str(), nullptr);
    ASSERT_NE(size, 0u) << GetLastError();
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(kImagePath.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 3u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, L"Ostrivo.exe");
}

}  // namespace
