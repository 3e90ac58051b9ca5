// The Windows HID backend against the simulated module: the listing, CreateFileW, CloseHandle
// and HID.dll's entry points are stood up over a simulated bus that counts what they hand out.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <future>
#include <thread>
#include <vector>

#include "app/win32/failure_log.h"
#include "define/byte_order.h"
#include "define/windows_error.h"
#include "device/device.h"
#include "device/system_hid.h"
#include "define/win32/system_library.h"
#include "device/win32/win32_hid.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

const GUID hid_class{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
HDEVINFO const the_list = reinterpret_cast<HDEVINFO>(0x5E7);

// How the detail size query or the record request of one interface misbehaves.
enum class Detail { normal, query_succeeds, other_error, zero_size, record_fails };

struct Platform {
    SimBus bus;
    std::vector<std::string> paths;
    std::map<DWORD, Detail> detail;
    std::map<HANDLE, HidHandleId> open;
    std::uintptr_t next_handle = 0x100;
    int lists = 0, destroys = 0, creates = 0, closes = 0, preparsed = 0, freed = 0;
    bool unplugged = false;  // the feature calls fail as for a module pulled out
    std::vector<DWORD> flags, access, share, disposition, record_sizes;
};
Platform* p = nullptr;

HDEVINFO WINAPI get_class_devs(const GUID* guid, PCWSTR, HWND, DWORD flags)
{
    ++p->lists;
    p->flags.push_back(flags);
    if (!IsEqualGUID(*guid, hid_class)) return INVALID_HANDLE_VALUE;
    std::vector<HidInterfaceInfo> infos;
    p->bus.list_interfaces(infos);
    p->paths.clear();
    for (const auto& i : infos) p->paths.push_back(i.path);
    return the_list;
}
BOOL WINAPI enum_interfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                            PSP_DEVICE_INTERFACE_DATA data)
{
    if (set != the_list || index >= p->paths.size()) return SetLastError(ERROR_NO_MORE_ITEMS), FALSE;
    data->Reserved = index;
    return TRUE;
}
// The size field the system demands in the interface detail record: its fixed header as the
// platform lays it out, 6 bytes packed on 32-bit Windows and 8 on 64-bit.
constexpr DWORD detail_header_size = sizeof(void*) == 8 ? 8 : 6;
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == detail_header_size);

BOOL WINAPI get_detail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data, PSP_DEVICE_INTERFACE_DETAIL_DATA_W d,
                       DWORD size, PDWORD required, PSP_DEVINFO_DATA)
{
    const DWORD index = static_cast<DWORD>(data->Reserved);
    const std::string& path = p->paths[index];
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                            2 * (path.size() + 1));
    const Detail how = p->detail.count(index) ? p->detail[index] : Detail::normal;
    if (d == nullptr) {
        if (how == Detail::query_succeeds) return TRUE;
        *required = how == Detail::zero_size ? 0 : needed;
        SetLastError(how == Detail::other_error ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    p->record_sizes.push_back(size - needed);
    if (how == Detail::record_fails || d->cbSize != detail_header_size || size < needed)
        return SetLastError(ERROR_INVALID_USER_BUFFER), FALSE;
    for (std::size_t i = 0; i <= path.size(); ++i) d->DevicePath[i] = i < path.size() ? path[i] : 0;
    return TRUE;
}
BOOL WINAPI destroy_list(HDEVINFO set) { return set == the_list && ++p->destroys; }
HANDLE WINAPI create_file(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE)
{
    p->access.push_back(access);
    p->share.push_back(share | flags);
    p->disposition.push_back(disposition);
    const HidHandleId id = p->bus.open(std::string(path, path + std::wcslen(path)));
    if (id == invalid_hid_id) return SetLastError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    ++p->creates;
    const HANDLE h = reinterpret_cast<HANDLE>(p->next_handle += 4);
    p->open[h] = id;
    return h;
}
BOOL WINAPI close_handle(HANDLE h)
{
    if (!p->open.count(h)) return FALSE;
    p->bus.close(p->open[h]);
    p->open.erase(h);
    return ++p->closes;
}
void __stdcall hid_guid(LPGUID g) { *g = hid_class; }
BOOLEAN __stdcall attributes(HANDLE h, PHIDD_ATTRIBUTES a)
{
    return a->Size == 12 && p->bus.attributes(p->open.at(h), a->VendorID, a->ProductID);
}
BOOLEAN __stdcall preparsed(HANDLE h, PHIDP_PREPARSED_DATA* data)
{
    ++p->preparsed;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(new HidHandleId(p->open.at(h)));
    return TRUE;
}
BOOLEAN __stdcall free_preparsed(PHIDP_PREPARSED_DATA data)
{
    ++p->freed;
    delete reinterpret_cast<HidHandleId*>(data);
    return TRUE;
}
NTSTATUS __stdcall caps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS c)
{
    std::size_t length = 0;
    if (!p->bus.feature_report_length(*reinterpret_cast<HidHandleId*>(data), length)) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    c->FeatureReportByteLength = static_cast<USHORT>(length);
    return HIDP_STATUS_SUCCESS;
}
BOOLEAN __stdcall set_feature(HANDLE h, PVOID b, ULONG n)
{
    if (p->unplugged) return SetLastError(ERROR_DEVICE_NOT_CONNECTED), FALSE;
    return p->bus.set_feature(p->open.at(h), static_cast<std::uint8_t*>(b), n);
}
BOOLEAN __stdcall get_feature(HANDLE h, PVOID b, ULONG n)
{
    if (p->unplugged) return SetLastError(ERROR_GEN_FAILURE), FALSE;
    return p->bus.get_feature(p->open.at(h), static_cast<std::uint8_t*>(b), n);
}
void __stdcall unused_entry() {}

template <typename F> FARPROC proc(F f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f)); }

// The simulated HID.dll: entry points by name, every name asked for recorded.
HidLibrary::Lookup simulated_hid(std::vector<std::string>& asked, std::string missing = "")
{
    return [&asked, missing](const char* name) -> FARPROC {
        asked.push_back(name);
        const std::map<std::string, FARPROC> used{
            {"HidD_GetHidGuid", proc(hid_guid)}, {"HidD_GetAttributes", proc(attributes)},
            {"HidD_GetPreparsedData", proc(preparsed)}, {"HidD_FreePreparsedData", proc(free_preparsed)},
            {"HidP_GetCaps", proc(caps)}, {"HidD_SetFeature", proc(set_feature)}, {"HidD_GetFeature", proc(get_feature)}};
        if (name == missing) return nullptr;
        return used.count(name) ? used.at(name) : proc(unused_entry);
    };
}

const PlatformVersion windows_10{true, 10, 0};

class Win32HidTest : public ::testing::Test {
protected:
    void SetUp() override { p = &platform; }
    void TearDown() override { p = nullptr; }
    Win32Hid make(const std::string& missing = "")
    {
        return Win32Hid({get_class_devs, enum_interfaces, get_detail, destroy_list, create_file, close_handle},
                        std::make_unique<HidLibrary>(simulated_hid(asked, missing), windows_10));
    }
    // Everything handed out has come back.
    void expect_all_released()
    {
        EXPECT_EQ(platform.creates, platform.closes);
        EXPECT_EQ(platform.preparsed, platform.freed);
        EXPECT_EQ(platform.lists, platform.destroys);
        EXPECT_EQ(platform.bus.open_handles(), 0u);
    }
    Platform platform;
    std::vector<std::string> asked;
};

TEST_F(Win32HidTest, FindsTheModuleAfterForeignAndOtherLengthInterfacesAndTalksToIt)
{
    ForeignDevice mouse(0x046D, 0xC077);
    SimModule second_interface, module, another_module;
    platform.bus.add_interface(mouse, report_length, false);
    platform.bus.add_interface(second_interface, 33, false);
    platform.bus.add_interface(module, report_length, false);
    platform.bus.add_interface(another_module, report_length, false);
    Win32Hid hid = make();
    auto app = make_app_identity();

    DeviceHandle h = open_device(hid, app);
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(app.found);
    EXPECT_EQ(platform.bus.opens_of(0), 1u);  // foreign ids: opened, sent nothing
    EXPECT_EQ(platform.bus.reports_to(0), 0u);
    EXPECT_EQ(platform.bus.opens_of(1), 1u);  // feature length 33: no command
    EXPECT_EQ(platform.bus.reports_to(1), 0u);
    EXPECT_EQ(platform.bus.reports_to(2), 2u);  // identify and its reply
    EXPECT_EQ(platform.bus.opens_of(3), 0u);    // the second passing interface is never opened
    EXPECT_EQ(platform.flags, std::vector<DWORD>{18});
    EXPECT_EQ(platform.access, std::vector<DWORD>(3, 0));
    EXPECT_EQ(platform.share, std::vector<DWORD>(3, FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(platform.disposition, std::vector<DWORD>(3, OPEN_EXISTING));
    EXPECT_EQ(platform.record_sizes, std::vector<DWORD>(4, 10));  // 10 bytes over the size asked

    // Feature reports both ways: a configuration page written and read back, the status read.
    std::vector<std::uint8_t> page(2048);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 7);
    write_block(h, page.data(), page.size(), flash_config_address);
    std::uint8_t back[12] = {}, status[8] = {};
    ASSERT_TRUE(send_command(h, cmd_read_flash, flash_config_address, sizeof back));
    ASSERT_TRUE(receive_data(h, back, sizeof back));
    EXPECT_TRUE(std::equal(back, back + 12, page.begin()));
    ASSERT_TRUE(send_command(h, cmd_get_status) && receive_data(h, status, sizeof status));
    EXPECT_EQ(get_le32(status), module.firmware_version());
    close_device(h);

    // The loader is not there: the application answers, is closed, and nothing is returned.
    auto loader = make_loader_identity();
    EXPECT_FALSE(open_device(hid, loader).valid());
    EXPECT_FALSE(loader.found);
    expect_all_released();
}

// Another program on the module, played by a thread of this one with a backend of its own: a
// mutex belongs to the thread that took it, as it would to another program's.
TEST_F(Win32HidTest, AModuleClaimedElsewhereIsBusyUntilItsHolderEnds)
{
    SimModule module;
    const std::size_t m = platform.bus.add_interface(module, report_length, false);
    Win32Hid theirs = make();
    Win32Hid mine = make();
    DeviceHandle held;
    std::promise<void> claimed, end;
    std::thread holder([&] {
        auto app = make_app_identity();
        held = open_device(theirs, app);
        claimed.set_value();
        end.get_future().wait();
        // Ends without closing, as a program that dies: the system lets go of the mutex.
    });
    claimed.get_future().wait();
    ASSERT_TRUE(held.valid());
    const std::size_t reports_before = platform.bus.reports_to(m);

    // The same path in other letters names the same mutex; another path another one.
    EXPECT_EQ(claim_mutex_name(L"\\\\?\\hid#vid_03eb&pid_6202#7&1"), claim_mutex_name(L"\\\\?\\HID#VID_03EB&PID_6202#7&1"));
    EXPECT_NE(claim_mutex_name(L"\\\\?\\hid#vid_03eb&pid_6202#7&1"), claim_mutex_name(L"\\\\?\\hid#vid_03eb&pid_6202#7&2"));
    EXPECT_EQ(claim_mutex_name(L"x").rfind(L"Global\\", 0), 0u) << "one for every session and user";

    auto app = make_app_identity();
    EXPECT_FALSE(open_device(mine, app).valid());
    EXPECT_TRUE(app.busy);
    EXPECT_EQ(platform.bus.reports_to(m), reports_before) << "not even cmd_identify";
    end.set_value();
    holder.join();

    DeviceHandle h = open_device(mine, app);
    ASSERT_TRUE(h.valid()) << "the holder's thread has ended: its claim is abandoned and free";
    EXPECT_FALSE(app.busy);
    // A second handle of this program on the same interface is turned away too.
    const HidHandleId again = mine.open("sim:" + std::to_string(m));
    EXPECT_EQ(mine.claim(again), HidClaim::busy);
    mine.close(again);
    close_device(h);
    theirs.close(held.id);
    expect_all_released();
}

// What a log shows: the failing call and its GetLastError code, counted, as Linux keeps errno;
// the window writes a new failure once, in the system's words, to the debug output.
TEST_F(Win32HidTest, EachFailingCallIsKeptWithItsSystemErrorCode)
{
    SimModule module;
    platform.bus.add_interface(module, report_length, false);
    Win32Hid hid = make();
    std::vector<std::wstring> lines;
    FailureLog log(hid, [&](const std::wstring& line) { lines.push_back(line); });
    auto kept = [&](const char* call, int error) {
        return hid.last_failure().call == std::string(call) && hid.last_failure().error == error;
    };
    EXPECT_EQ(hid.open("sim:7"), invalid_hid_id);
    EXPECT_TRUE(kept("CreateFileW", ERROR_FILE_NOT_FOUND));

    auto app = make_app_identity();
    DeviceHandle h = open_device(hid, app);
    ASSERT_TRUE(h.valid());
    log.report();
    lines.clear();
    platform.unplugged = true;
    EXPECT_FALSE(send_command(h, cmd_get_status));
    EXPECT_TRUE(kept("HidD_SetFeature", ERROR_DEVICE_NOT_CONNECTED));
    std::uint8_t status[8];
    EXPECT_FALSE(receive_data(h, status, sizeof status));
    EXPECT_TRUE(kept("HidD_GetFeature", ERROR_GEN_FAILURE));
    log.report();
    log.report();
    ASSERT_EQ(lines.size(), 1u) << "the latest failure, once";
    EXPECT_EQ(lines[0], widen("lirvan: HID: HidD_GetFeature failed: " + windows_error_text(31) + " (31)\n"));
    close_device(h);
    expect_all_released();
}

TEST_F(Win32HidTest, InterfacesWhoseDetailQueryBreaksTheRuleAreNeverOpened)
{
    SimModule modules[5];
    for (auto& m : modules) platform.bus.add_interface(m, report_length, false);
    platform.detail = {{0, Detail::query_succeeds}, {1, Detail::other_error}, {2, Detail::zero_size},
                       {3, Detail::record_fails}};
    Win32Hid hid = make();
    auto app = make_app_identity();
    DeviceHandle h = open_device(hid, app);
    ASSERT_TRUE(h.valid());
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(platform.bus.opens_of(i), 0u) << i;
    EXPECT_EQ(platform.bus.opens_of(4), 1u);
    close_device(h);
    expect_all_released();
}

TEST_F(Win32HidTest, EntryPointsAreLookedUpInOrderAsTheVersionAllows)
{
    std::vector<std::string> all{
        "HidD_Hello", "HidD_GetHidGuid", "HidD_GetPreparsedData", "HidD_FreePreparsedData",
        "HidD_GetConfiguration", "HidD_SetConfiguration", "HidD_FlushQueue", "HidD_GetFeature",
        "HidD_SetFeature", "HidD_GetNumInputBuffers", "HidD_SetNumInputBuffers", "HidD_GetAttributes",
        "HidD_GetManufacturerString", "HidD_GetProductString", "HidD_GetSerialNumberString",
        "HidD_GetPhysicalDescriptor", "HidD_GetIndexedString", "HidD_GetInputReport",
        "HidD_SetOutputReport", "HidP_GetCaps", "HidP_GetLinkCollectionNodes",
        "HidP_GetSpecificButtonCaps", "HidP_GetSpecificValueCaps", "HidP_GetData", "HidP_SetData",
        "HidP_MaxDataListLength", "HidP_GetUsages", "HidP_GetUsagesEx", "HidP_SetUsages",
        "HidP_UnsetUsages", "HidP_MaxUsageListLength", "HidP_GetUsageValue",
        "HidP_GetScaledUsageValue", "HidP_GetUsageValueArray", "HidP_SetUsageValue",
        "HidP_SetScaledUsageValue", "HidP_SetUsageValueArray", "HidP_UsageListDifference",
        "HidP_TranslateUsagesToI8042ScanCodes", "HidP_GetExtendedAttributes",
        "HidP_InitializeReportForID"};
    auto without = [&](std::vector<std::string> names) {
        auto list = all;
        for (const auto& n : names) list.erase(std::find(list.begin(), list.end(), n));
        return list;
    };
    const auto before_xp = without({"HidD_GetInputReport", "HidD_SetOutputReport", "HidP_GetExtendedAttributes",
                                    "HidP_InitializeReportForID"});
    const std::vector<std::pair<PlatformVersion, std::vector<std::string>>> cases{
        {{true, 5, 1}, all}, {{true, 6, 3}, all},
        {windows_10, without({"HidD_GetInputReport", "HidD_SetOutputReport"})},  // minor 0
        {{true, 4, 1}, before_xp}, {{false, 5, 1}, before_xp},
    };
    for (const auto& [version, expected] : cases) {
        asked.clear();
        EXPECT_TRUE(HidLibrary(simulated_hid(asked), version).bound());
        EXPECT_EQ(asked, expected) << version.major << "." << version.minor;
    }
}

TEST_F(Win32HidTest, AMissingEntryPointDropsTheWholeBindingAndEverySearchFindsNothing)
{
    SimModule module;
    platform.bus.add_interface(module, report_length, false);
    for (const char* missing : {"HidD_Hello", "HidP_GetCaps", "HidP_InitializeReportForID"}) {
        HidLibrary library(simulated_hid(asked, missing), windows_10);
        EXPECT_FALSE(library.bound()) << missing;
        EXPECT_EQ(library.get_hid_guid(), nullptr);
        EXPECT_EQ(library.get_feature(), nullptr);
        Win32Hid hid = make(missing);
        auto app = make_app_identity();
        EXPECT_FALSE(open_device(hid, app).valid());
        EXPECT_FALSE(app.found);
    }
    EXPECT_EQ(platform.lists, 0);  // not even the interface list was asked for
    EXPECT_EQ(platform.bus.opens(), 0u);
}

// The system's own library (wine's HID.dll under test): bound, and released with the binding;
// another library is refused and released.
TEST(SystemHid, HidDllIsBoundAndReleasedAndAMissingFileLeavesTheSearchEmpty)
{
    ASSERT_EQ(GetModuleHandleW(L"hid.dll"), nullptr);
    {
        HidLibrary library;
        EXPECT_TRUE(library.bound());
        // The system folder's file, and so is the file dialogs' library.
        const auto from_system_folder = [](HMODULE loaded, const wchar_t* name) {
            wchar_t file[MAX_PATH] = {};
            return loaded != nullptr && GetModuleFileNameW(loaded, file, MAX_PATH) > 0 &&
                   lstrcmpiW(file, system_folder_file(name).c_str()) == 0;
        };
        EXPECT_TRUE(from_system_folder(GetModuleHandleW(L"hid.dll"), L"hid.dll"));
        const HMODULE dialogs = load_system_library(L"comdlg32.dll");
        EXPECT_TRUE(from_system_folder(dialogs, L"comdlg32.dll"));
        if (dialogs != nullptr) FreeLibrary(dialogs);
        EXPECT_EQ(load_system_library(L"no-such-library.dll"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(L"hid.dll"), nullptr);

    // A library without the entry points is released again at once.
    ASSERT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
    EXPECT_FALSE(HidLibrary(L"msimg32.dll").bound());
    EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);

    HidLibrary absent(L"no-such-hid-library.dll");
    EXPECT_FALSE(absent.bound());
    EXPECT_FALSE(absent.loaded());

    // No module on this machine: the whole system path runs and finds nothing.
    auto hid = make_system_hid();
    std::vector<HidInterfaceInfo> present;
    EXPECT_TRUE(hid->list_interfaces(present));
    auto app = make_app_identity();
    EXPECT_FALSE(open_device(*hid, app).valid());
    EXPECT_FALSE(app.found);
}

// The device installation services are bound when first called, from the system folder; a DLL
// or an entry point that is not there gives null and its reason at every asking, and a library
// without the entry point is released again.
TEST(SystemHid, LateEntriesComeFromTheSystemFolderAndGiveTheReasonOfAMissingOne)
{
    LateEntry listing{L"setupapi.dll", "SetupDiGetClassDevsW"};
    ASSERT_NE(listing.get(), nullptr);
    wchar_t file[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(L"setupapi.dll"), file, MAX_PATH), 0u);
    EXPECT_EQ(lstrcmpiW(file, system_folder_file(L"setupapi.dll").c_str()), 0);
    LateEntry no_library{L"no-such-library.dll", "SetupDiGetClassDevsW"}, no_entry{L"msimg32.dll", "NoSuchEntry"};
    const std::pair<LateEntry*, DWORD> askings[] = {{&no_library, ERROR_MOD_NOT_FOUND}, {&no_entry, ERROR_PROC_NOT_FOUND},
                                                    {&no_library, ERROR_MOD_NOT_FOUND}, {&no_entry, ERROR_PROC_NOT_FOUND}};
    for (const auto& [entry, reason] : askings) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(entry->get(), nullptr);
        EXPECT_EQ(GetLastError(), reason);
    }
    EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
}

}  // namespace
