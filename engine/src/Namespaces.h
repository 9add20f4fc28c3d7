#pragma once

#include <string_view>

// Namespace URIs of the two OOXML conformance classes and the relationship types the engine follows.
namespace trelwick::engine::ns {

inline constexpr std::string_view kPml = "http://schemas.openxmlformats.org/presentationml/2006/main";
inline constexpr std::string_view kPmlStrict = "http://purl.oclc.org/ooxml/presentationml/main";
inline constexpr std::string_view kDml = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr std::string_view kDmlStrict = "http://purl.oclc.org/ooxml/drawingml/main";
inline constexpr std::string_view kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kRelStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr std::string_view kPackageRels =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kMarkupCompatibility =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";
inline constexpr std::string_view kContentTypes =
    "http://schemas.openxmlformats.org/package/2006/content-types";

// Relationship type names: the last segment after ".../relationships/".
inline constexpr std::string_view kOfficeDocument = "officeDocument";
inline constexpr std::string_view kSlide = "slide";
inline constexpr std::string_view kSlideLayout = "slideLayout";
inline constexpr std::string_view kSlideMaster = "slideMaster";
inline constexpr std::string_view kNotesSlide = "notesSlide";
inline constexpr std::string_view kNotesMaster = "notesMaster";
inline constexpr std::string_view kHandoutMaster = "handoutMaster";
inline constexpr std::string_view kTheme = "theme";

inline constexpr std::string_view kNotesSlideType =
    "application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml";
inline constexpr std::string_view kNotesMasterType =
    "application/vnd.openxmlformats-officedocument.presentationml.notesMaster+xml";
inline constexpr std::string_view kThemeType = "application/vnd.openxmlformats-officedocument.theme+xml";
inline constexpr std::string_view kRelsType = "application/vnd.openxmlformats-package.relationships+xml";

}  // namespace trelwick::engine::ns
