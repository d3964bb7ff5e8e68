#pragma once

// The saves of the crash test (SaveCrashTest.cpp), shared by the test and
// its child program (SaveCrashChild.cpp): a large document, the settings
// store and the report, each saved in one of two versions over the same
// file.

#include <string>
#include <string_view>

namespace savecrash {

enum class Kind { Document, Settings, Report };

// The file a kind of save replaces, inside the test's folder.
std::string targetName(Kind kind);
// The settings value both versions of the settings file carry.
inline constexpr const char* kSettingsValue = "Большое значение";

// "document", "settings", "report".
std::string kindName(Kind kind);
bool parseKind(std::string_view name, Kind& kind);

// Saves version 0 or 1 of `kind` into `folder` as the program does.
void save(Kind kind, const std::string& folder, int version);

// Whether `name` has the form of a new file a save of `target` leaves when
// it is killed before its rename: "." target "." … ".tmp".
bool isLeftoverOf(std::string_view name, std::string_view target);

}  // namespace savecrash
