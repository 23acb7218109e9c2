// The process-wide table of user-visible texts, looked up by numeric id. It is
// filled from string tables ("id<TAB>text" lines, 8-bit or UTF-16LE with a
// byte-order mark); a later table overrides the texts of an earlier one.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/LocalizerUtil.h"

namespace OstrelInstallEngine {

class Stream;

class Localizer {
public:
    // Creates the instance and loads the built-in English table (RCDATA 103
    // of the module holding the engine). A second call fails (10034).
    static void Init();
    // Null before Init. The instance lives until the process ends.
    static Localizer* GetInstance();
    // An empty table apart from the process-wide one, for tools that check a
    // string table line by line before it ships.
    static std::unique_ptr<Localizer> CreateStandalone();

    // Reads one string table. A malformed line stops the load there; the
    // entries before it stay.
    void Load(std::unique_ptr<Stream> stream);

    // One line of a string table: skipped, stored, or a failed check (10030,
    // 10031, 10032) that leaves the table as it was.
    void ParseLine(const std::wstring& localeLine);

    // The text of an id; "BAD_STRING: <id>" for an id no table defined.
    std::wstring GetString(int id) const;
    bool HasString(int id) const { return m_strings.count(id) != 0; }

    template <typename... Args>
    std::wstring GetFormattedString(int id, const Args&... args) const
    {
        return LocalizerUtil::FormatString(GetString(id), args...);
    }

    // The text of an id from the process-wide table, filled with the arguments
    // when there are any; "BAD_STRING: <id>" before Init, so that failures
    // raised during start-up still carry a text.
    template <typename... Args>
    static std::wstring Text(int id, const Args&... args)
    {
        std::wstring text = s_instance != nullptr ? s_instance->GetString(id) : BadString(id);
        if constexpr (sizeof...(Args) == 0) {
            return text;
        } else {
            return LocalizerUtil::FormatString(text, args...);
        }
    }

private:
    Localizer() = default;

    static std::wstring BadString(int id);

    std::map<int, std::wstring> m_strings;

    static Localizer* s_instance;
};

}  // namespace OstrelInstallEngine
