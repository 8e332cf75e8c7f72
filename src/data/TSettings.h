#pragma once
// The one settings object over Config.ini. Loads every value once; every setter rewrites the file.
//
// Config.ini is a list of name=value lines (UTF-8, CR LF; a byte-order mark found on loading is
// written back). Names match without regard to ASCII letter case, the first matching line counts,
// unknown lines are kept as they are. Booleans read as a number (non-zero is true, "," or "." as
// decimal separator) or "true"/"false" in any case, and are written "-1"/"0". Character settings
// read the first UTF-8 character of the value.
//
// Threads: owned and used on the main thread only, without locks; other threads get copies of
// the values they need (the sync client is handed the key and the server address).
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/DateText.h"
#include "platform/TextLines.h"

namespace wl {

class TSettings {
  public:
    // Loads DataDir()/Config.ini. Throws std::runtime_error (text as the user should see it)
    // when the file cannot be read or a setting without fallback cannot be parsed.
    TSettings();
    explicit TSettings(std::filesystem::path file);

    bool StartWithOS() const { return FStartWithOS; }
    bool HideOnStart() const { return FHideOnStart; }
    bool ShowBloks() const { return FShowBloks; }
    bool CheckUpdate() const { return FCheckUpdate; }
    const std::string& Key() const { return FKey; }
    int32_t WppToChange() const { return FWppToChange; }
    DateTime WppDateToChange() const { return FWppDateToChange; }
    bool WppRandom() const { return FWppRandom; }
    int32_t WppCurIndex() const { return FWppCurIndex; }
    bool UseHotKey() const { return FUseHotKey; }
    char32_t HotKeyMain() const { return FHotKeyMain; }
    char32_t HotKeyNote() const { return FHotKeyNote; }
    char32_t HotKeyTemplate() const { return FHotKeyTemplate; }
    char32_t HotKeyBlock() const { return FHotKeyBlock; }
    char32_t HotKeyEditor() const { return FHotKeyEditor; }
    const std::string& Font() const { return FFont; }
    int32_t FontSize() const { return FFontSize; }
    char32_t HotKeyBold() const { return FHotKeyBold; }
    char32_t HotKeyItalic() const { return FHotKeyItalic; }
    char32_t HotKeyStriceOut() const { return FHotKeyStriceOut; }
    int32_t ALPHABLEND_VALUE() const { return FALPHABLEND_VALUE; }
    // Where the sync client connects: "SyncHost" (an IPv4 address or a host name, default
    // 127.0.0.1), "SyncPort" (default 3000).
    const std::string& SyncHost() const { return FSyncHost; }
    uint16_t SyncPort() const { return FSyncPort; }
    // "SyncTls" (default off): the sync connection is TLS, the service's certificate checked
    // against the system's CA store and SyncHost.
    bool SyncTls() const { return FSyncTls; }

    // Each setter stores the value, updates its line (an empty text removes the line) and rewrites
    // Config.ini atomically; a write failure throws (the field already holds the new value).
    // Values that could not be read back are refused with std::invalid_argument before anything
    // changes: texts holding a line break, key characters that are 0, not Unicode scalar values or
    // line breaks, an opacity outside 0..255, a host that is neither an IPv4 address nor a host
    // name, port 0.
    void SetStartWithOS(bool v);
    void SetHideOnStart(bool v);
    void SetShowBloks(bool v);
    void SetCheckUpdate(bool v);
    void SetKey(const std::string& v);
    void SetWppToChange(int32_t v);
    void SetWppDateToChange(DateTime v);
    void SetWppRandom(bool v);
    void SetWppCurIndex(int32_t v);
    void SetUseHotKey(bool v);
    void SetHotKeyMain(char32_t v);
    void SetHotKeyNote(char32_t v);
    void SetHotKeyTemplate(char32_t v);
    void SetHotKeyBlock(char32_t v);
    void SetHotKeyEditor(char32_t v);
    void SetFont(const std::string& v);
    void SetFontSize(int32_t v);
    void SetHotKeyBold(char32_t v);
    void SetHotKeyItalic(char32_t v);
    void SetHotKeyStriceOut(char32_t v);
    void SetALPHABLEND_VALUE(int32_t v);
    void SetSyncHost(const std::string& v);
    void SetSyncPort(uint16_t v);
    void SetSyncTls(bool v);

    const std::filesystem::path& File_Name() const { return FFile_Name; }
    const TextLines& SL() const { return FSL; }

  private:
    void Load();
    // The value of the first line named `key`; empty when there is none.
    std::string Value(std::string_view key) const;
    bool ReadBool(std::string_view key) const;
    bool ReadBool(std::string_view key, bool fallback) const;
    int32_t ReadInt(std::string_view key) const;
    char32_t ReadChar(std::string_view key) const;
    char32_t ReadChar(std::string_view key, char32_t fallback) const;
    [[noreturn]] void Fail(std::string_view key, const std::string& what) const;
    // Sets (or, for an empty text, removes) the line of `key` and saves the file.
    void Store(std::string_view key, const std::string& text);
    // The common tail of the boolean and character setters: check, keep, write the line.
    void SetBool(bool& field, std::string_view key, bool v);
    void SetChar(char32_t& field, std::string_view key, char32_t v);

    std::filesystem::path FFile_Name;
    TextLines FSL;
    bool FStartWithOS = true, FHideOnStart = true, FShowBloks = true, FCheckUpdate = true;
    std::string FKey;
    int32_t FWppToChange = 4;
    DateTime FWppDateToChange;
    bool FWppRandom = false;
    int32_t FWppCurIndex = 0;
    bool FUseHotKey = true;
    char32_t FHotKeyMain = U'0', FHotKeyNote = U'9', FHotKeyTemplate = U'8', FHotKeyBlock = U'I',
             FHotKeyEditor = U'E';
    std::string FFont;
    int32_t FFontSize = 8;
    char32_t FHotKeyBold = U'B', FHotKeyItalic = U'I', FHotKeyStriceOut = U'R';
    int32_t FALPHABLEND_VALUE = 125;
    std::string FSyncHost = "127.0.0.1";
    uint16_t FSyncPort = 3000;
    bool FSyncTls = false;
};

}  // namespace wl
