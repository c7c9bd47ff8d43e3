// CLanguageManager: every text the dialog programs show, by string id.
//
// The program's own texts (English) are compiled in and handed over once
// with SetProgramStrings. A French user gets a strings file of the program's
// folder loaded over them ("TillSetupFrench.strings", "TillProbeFrench.strings"):
// a text the file lacks comes from the program, so a partial translation
// still shows every text; an id that neither has gives "".
//
// Strings file: UTF-8 text, one "id<TAB>text" line per string, the id in
// decimal; in the text "\n", "\r", "\t" and "\\" stand for a line break,
// a carriage return, a tab and a backslash (any other backslash stays as it
// is). Lines without a tab or with an id that is not a number from 0 to
// 65535 are skipped; the first line of an id wins. The file is data only:
// nothing in it is run.
//
// One instance per process (GetInstance), used on the UI thread only.
#pragma once

#include "platform/types.h"

#include <map>
#include <string>

class CLanguageManager {
public:
    using StringTable = std::map<UINT, std::string>;

    static CLanguageManager& GetInstance();

    // The program's own table; texts of the loaded file come first.
    void SetProgramStrings(StringTable strings);

    // Stores the extension and the default name (every caller passes "lng"
    // and "check").
    void Configure(const std::string& extension, const std::string& defaultName);
    // Frees a loaded file; the current name becomes `name`. When a file
    // exists at `path` it is loaded and true is returned; otherwise the
    // current name becomes the default name and false is returned. Only a
    // regular file of at most 1 MiB is read, never through a link: anything
    // else there leaves no table (the program's own texts serve) and the
    // reason goes to the debugger output.
    bool LoadLanguageDll(const std::string& path, const std::string& name);
    // 1 when a file was loaded and is now freed, 0 when none was.
    int FreeLanguageDll();
    // The text of `id`, at most 1023 bytes (never cut inside a character).
    std::string GetString(UINT id) const;

    bool IsLanguageLoaded() const { return m_loaded; }
    const std::string& CurrentName() const { return m_currentName; }

    // Picks the language as every dialog does: Configure("lng", "check"),
    // then on a French user language (1036) loads <working directory>/file
    // under `name`, else frees any loaded file. True when French is chosen.
    // (The configuration utility's main dialog passes "english" as the
    // default name.)
    bool ChooseUserLanguage(const std::string& file, const std::string& name,
                            const std::string& defaultName = "check");

    // Parses a strings file's text (exposed for the fuzz target).
    static StringTable ParseStrings(const std::string& text);

    // Back to the state of construction (tests).
    void ResetForTesting();

private:
    CLanguageManager() = default;

    StringTable m_program;
    StringTable m_library;
    bool m_loaded = false;
    std::string m_currentName;
    std::string m_defaultName = "english";
    std::string m_extension = "lng";
};
