#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

std::string ReadLogText(const std::string& section, const std::string& key, const std::string& def) {
    // The installer writes a line break inside a value as "||": a lone CR.
    return StrReplaceAll(ReadIniString(UninstallState.LogPath, section, key, def), "||", "\r");
}

std::string ReadLogTextDef(const std::string& section, const std::string& key, const std::string& def) {
    std::string text = ReadLogText(section, key, "");
    return text.empty() ? def : text;
}

std::string ReadStringsText(const std::string& key, const std::string& def) {
    return ReadLogText("Strings", key, def);
}

std::string MessageText(int n) {
    // The program has no string resources of its own numbers: a missing key
    // gives the empty text.
    char buffer[1024];
    int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(n), buffer, sizeof buffer);
    return ReadStringsText(IntToStr(n), std::string(buffer, length > 0 ? length : 0));
}

std::string MessageFormat(int n, const std::string& arg) {
    std::string templ = MessageText(n);
    try {
        return Format(templ, {arg});
    } catch (const EConvertError&) {
        // A template with another specifier, or a second "%s": shown as it
        // stands rather than stopping the run over a status line.
        return templ;
    }
}
