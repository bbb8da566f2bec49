// The host CAD program's API as the module sees it: the records passed by
// address and the operations the host executable exports. The module only
// declares them; they are resolved from the host process when it loads us.
// Layouts are fixed for the 32-bit home platform; on 64-bit the address
// fields widen and the field order stays.
#ifndef RASTELLO_SHELL_HOSTAPI_H
#define RASTELLO_SHELL_HOSTAPI_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Buffer sizes both sides rely on: file-name targets and full paths.
const size_t XP_NAME_BYTES = 256;
const size_t XP_PATH_BYTES = 260;

// Numbers both sides rely on: host string ids for RscAdr, the FormSt code
// that shows a figure in place of "!01", the start-up event, the block
// "_GetSysVAdr@4" returns the clipboard size in, and where the drawing
// header keeps its signed 16-bit background colour index.
enum : int32_t
{
  StringHostProduct = 3053,
  StringExportFileName = 3307,
  StringClipboardKey = 3512,
  StringClipboardValue = 3420,
  FormatCodeStatus = 11,
  EventStartUp = 14,
  SystemValuesClipboard = 3,
};
const size_t HeaderBackgroundOffset = 28;

// A module handler or export handler: called by the host with no arguments.
typedef void (*XPHandler)();
// Continuation of a data request: status 0 when the input is in the target,
// anything else when the user cancelled; the other two are unused.
typedef void (*XPContinuation)(int32_t status, int32_t, int32_t);
// Host event callback of a command table.
typedef void (*XPEventCallback)(int32_t eventCode);
// Dialog open/change callback; returns 0.
typedef int32_t (*XPDialogCallback)();
// Entity callback of DLScan; returns 0 to go on.
typedef int32_t (*XPEntityCallback)(intptr_t, const void *entity, intptr_t, intptr_t);

// A dialog made by DefDlg; opaque to the module.
struct XPDialog__;
typedef XPDialog__ *XPDIALOG;

// The record by which the host knows the module's commands.
struct CommandTable
{
  int32_t zero0;
  const char *commandNames;   // NUL-ended names, an empty name after the last
  const XPHandler *handlers;  // entry 0 initialisation, then one per name
  int32_t zero12;
  XPEventCallback eventCallback;  // OnHostEvent
  int32_t zero20;
  int32_t flags24;           // 0xF000
  HINSTANCE moduleInstance;  // stored by the library entry on attach
  int32_t version32;         // 603
  int32_t zero36, zero40;
  int32_t version44;  // 603
  int32_t zero48, zero52;
  HMODULE hostModule;  // filled in by the host at XPRegCmd
  int32_t zero60[6];
  const char *menuText;         // given to AddMenu
  const char *informationText;  // NUL-ended lines, an empty line last
  int32_t zero92;
};

// The module-wide export settings, stored as the registry value "Options".
struct ExportOptions
{
  int32_t width;          // bitmap width in pixels
  int32_t height;         // bitmap height in pixels
  int32_t flags;          // FlagGreyscale | FlagProgressive | FlagClipboardSize
  int32_t quality;        // JPEG quality, meant to be 1 to 100
  int32_t reserved;       // not used; stored with the rest
  int32_t unusedArea;     // UnusedNormal, UnusedCrop or UnusedBlank
  int32_t pngLevel;       // zlib level: 1, -1 or 9
  int32_t blackAndWhite;  // nonzero: black drawing on background colour 15
};

enum : int32_t
{
  FlagGreyscale = 1,
  FlagProgressive = 2,
  FlagClipboardSize = 8,
};

enum : int32_t
{
  UnusedNormal = 0,
  UnusedCrop = 1,
  UnusedBlank = 2,
};

// Given to RMGetValue and RMSetValue. Key path and value name may also hold
// a host string id (a number below 0x10000) instead of an address.
struct RegValueRecord
{
  uintptr_t rootKey;  // HKEY_CURRENT_USER
  const char *keyPath;
  const char *valueName;
  void *data;
  int32_t dataSize;   // bytes
  int32_t valueType;  // 3: raw bytes
  int32_t dataSizeAgain;
  int32_t zero;
};

const uintptr_t XP_HKEY_CURRENT_USER = 0x80000001u;
const int32_t XP_REG_BINARY = 3;

// One input asked of the host. Packed: the target address sits at byte 13.
#pragma pack(push, 1)
struct DataRequest
{
  int32_t kind;                // 49
  int32_t targetType;          // 2 file name, 0 point
  int32_t targetFlags;         // 0x80000 file name, 0 point
  uint8_t marker;              // 2
  void *target;                // file-name buffer, or two floats x, y
  const char *const *prompts;  // first entry: this request's prompt
  int32_t inputCode;           // DataInput*
  XPContinuation continuation;
  uint8_t zero[19];
};
#pragma pack(pop)

enum : int32_t
{
  DataInputFileName = 1,
  DataInputFirstCorner = 7,
  DataInputOppositeCorner = 5,
};

// Given to GetSaveFN.
struct SaveFileRecord
{
  char *name;            // last name in, chosen name out
  int32_t *filterIndex;  // written by the host, never read
  const char *defaultExtension;
  const char *filters;  // pairs of NUL-ended texts, an empty one last
  int32_t word4;        // 4096
  int32_t word5;        // 2048
  int32_t word6;        // 1
  const char *mode;     // "SAVE"
};

// Given to FormSt with 11: the host shows *value in place of "!01".
struct StatusFormat
{
  const char *text;
  const int32_t *value;
  uint8_t codes[4];  // 3, 0, 5, 3
};

// Pixel rectangle in bitmap pixels, row 0 at the top.
struct PixelRect
{
  int32_t xa, ya, xb, yb;
};

// World window, y growing upwards.
struct WorldRect
{
  float x1, y1, x2, y2;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(CommandTable) == 96, "CommandTable is 96 bytes");
static_assert(offsetof(CommandTable, moduleInstance) == 28, "instance at 28");
static_assert(offsetof(CommandTable, hostModule) == 56, "host module at 56");
static_assert(offsetof(CommandTable, menuText) == 84, "menu text at 84");
static_assert(offsetof(CommandTable, informationText) == 88, "information at 88");
static_assert(sizeof(RegValueRecord) == 32, "RegValueRecord is eight words");
static_assert(offsetof(DataRequest, target) == 13, "target at 13");
static_assert(offsetof(DataRequest, prompts) == 17, "prompts at 17");
static_assert(offsetof(DataRequest, inputCode) == 21, "input code at 21");
static_assert(offsetof(DataRequest, continuation) == 25, "continuation at 25");
static_assert(sizeof(DataRequest) == 48, "DataRequest block is 48 bytes");
static_assert(sizeof(SaveFileRecord) == 32, "SaveFileRecord is eight words");
static_assert(sizeof(StatusFormat) == 12, "StatusFormat is 12 bytes");
#endif
static_assert(sizeof(ExportOptions) == 32, "ExportOptions is 32 bytes");
static_assert(offsetof(DataRequest, target) == 13, "target follows the marker byte");

extern "C"
{

  // Commands, exports, requests
  int32_t XPRegCmd(CommandTable *table);
  int32_t XPUnregCmd(CommandTable *table);
  int32_t XPRegExport(XPHandler handler, const char *description, const char *extension);
  // A file-name target receives at most XP_NAME_BYTES bytes, NUL included.
  int32_t ReqData(DataRequest *request);
  void CmdEnd();

  // Status line, message boxes, host strings
  void StatusMsg(const char *text);
  void FormSt(const StatusFormat *format, int32_t code);
  void ErrorBox(const char *text);
  void InfoBox(const char *text);
  const char *RscAdr(int32_t stringId);

  // Registry area: an absent value leaves the data as it was.
  int32_t RMGetValue(RegValueRecord *record);
  int32_t RMSetValue(RegValueRecord *record);

  // Dialogs from the module's resources
  XPDIALOG DefDlg(const char *templateName, int32_t, int32_t, XPDialogCallback callback, int32_t, int32_t);
  int32_t XPDlog(XPDIALOG dialog, HINSTANCE moduleInstance, int32_t);
  void RelDlg(XPDIALOG dialog);
  // Edit bound to an integer of `length` characters.
  void EDCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t length, int32_t *value,
             XPDialogCallback callback);
  // Check box setting or clearing `mask` in *value.
  void CHKCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t mask,
              XPDialogCallback callback);
  // Radio button storing `buttonValue` in *value when chosen.
  void RBCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t buttonValue,
             XPDialogCallback callback);
  HWND GetDlgWin();
  void EnAbCtl(int32_t controlId);
  void DsAbCtl(int32_t controlId);

  // Drawing
  void *GetHeaderAdr();
  void DevUseBitmap(HDC memoryContext);
  void DevUsePrior();
  void DevUseColor(int32_t colourIndex);
  void DevSRect(const PixelRect *rectangle);
  void SetBMView(const WorldRect *window, const PixelRect *pixels);
  int32_t DLScan(int32_t, XPEntityCallback callback, int32_t, int32_t, int32_t);
  int32_t AskLayerHidden(int32_t layer);
  void EDraw1(const void *entity);
  void BgnPExtents();
  void EXCheck(const void *entity);
  void EndPExtents(float *extents);  // six floats
  void NewCsrOrg(float x, float y);
  void Redraw();

  // Files and menus
  int32_t GetSaveFN(const char *title, SaveFileRecord *record);
  // Output holds XP_PATH_BYTES bytes and may be the name itself.
  void FullFileName(const char *name, char *output);
  void AddMenu(const char *menuText);

}  // extern "C"

// Optional host entries, looked up by name with GetProcAddress. The @n in
// their names is the stdcall decoration (n bytes of arguments), so on 32-bit
// Windows they must be called as stdcall: a cdecl call through them leaves
// the stack off by n bytes.
#define XP_GETSYSVADR_NAME "_GetSysVAdr@4"
#define XP_GETPALADR_NAME "_GetPalAdr@0"
typedef void *(WINAPI *GetSysVAdrEntry)(int32_t which);  // 3: 40-byte clipboard block
typedef uint32_t *(WINAPI *GetPalAdrEntry)();            // 256 palette entries

#if defined(_WIN32) && defined(__i386__)
// A stdcall name says its convention and, after the @, how many bytes of
// arguments the callee takes off the stack; a type that disagrees in either
// corrupts the caller's stack. StdcallBytes accepts only a stdcall type.
namespace HostEntryCheck
{
template <typename Result, typename... Arguments> constexpr int StdcallBytes(Result(WINAPI *)(Arguments...))
{
  return (0 + ... + int((sizeof(Arguments) + 3) / 4 * 4));
}
constexpr int NameBytes(const char *name)
{
  while (*name != '\0' && *name != '@')
    ++name;
  int bytes = *name == '@' ? 0 : -1;
  for (name += *name == '@'; *name >= '0' && *name <= '9'; ++name)
    bytes = bytes * 10 + (*name - '0');
  return bytes;
}
static_assert(StdcallBytes(GetSysVAdrEntry()) == NameBytes(XP_GETSYSVADR_NAME),
              "GetSysVAdrEntry must be stdcall with the bytes its name says");
static_assert(StdcallBytes(GetPalAdrEntry()) == NameBytes(XP_GETPALADR_NAME),
              "GetPalAdrEntry must be stdcall with the bytes its name says");
}  // namespace HostEntryCheck
#endif

// Between FARPROC and an entry's own type. Going through void (*)() tells
// the compiler the change of function type is meant.
template <typename To, typename From> To EntryCast(From entry)
{
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(entry));
}

#endif
