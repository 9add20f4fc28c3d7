#pragma once

#include <cstdint>

// Record types of the PowerPoint Document stream that the engine reads or writes ([MS-PPT] 2.13.24 and
// [MS-ODRAW] for the drawing records inside slides).
namespace trelwick::engine::ppt::rt {

constexpr std::uint16_t Document = 0x03E8;
constexpr std::uint16_t DocumentAtom = 0x03E9;
constexpr std::uint16_t EndDocument = 0x03EA;
constexpr std::uint16_t Slide = 0x03EE;  // slides and title masters
constexpr std::uint16_t SlideAtom = 0x03EF;
constexpr std::uint16_t Notes = 0x03F0;  // notes pages and the notes master
constexpr std::uint16_t NotesAtom = 0x03F1;
constexpr std::uint16_t SlidePersistAtom = 0x03F3;
constexpr std::uint16_t MainMaster = 0x03F8;
constexpr std::uint16_t SlideShowDocInfoAtom = 0x0401;
constexpr std::uint16_t NamedShows = 0x0410;
constexpr std::uint16_t Summary = 0x0402;
constexpr std::uint16_t DocRoutingSlip = 0x0406;
constexpr std::uint16_t PrintOptionsAtom = 0x1770;
constexpr std::uint16_t DrawingGroup = 0x040B;
constexpr std::uint16_t Drawing = 0x040C;
constexpr std::uint16_t RoundTripHFPlaceholder12Atom = 0x0420;
constexpr std::uint16_t RoundTripCustomTableStyles12Atom = 0x0428;
constexpr std::uint16_t PlaceholderAtom = 0x0BC3;
constexpr std::uint16_t TextHeaderAtom = 0x0F9F;
constexpr std::uint16_t TextCharsAtom = 0x0FA0;
constexpr std::uint16_t StyleTextPropAtom = 0x0FA1;
constexpr std::uint16_t CString = 0x0FBA;
constexpr std::uint16_t HandoutContainer = 0x0FC9;
constexpr std::uint16_t SlideNumberMCAtom = 0x0FD8;
constexpr std::uint16_t HeadersFooters = 0x0FD9;
constexpr std::uint16_t HeadersFootersAtom = 0x0FDA;
constexpr std::uint16_t SlideListWithText = 0x0FF0;
constexpr std::uint16_t UserEditAtom = 0x0FF5;
constexpr std::uint16_t CurrentUserAtom = 0x0FF6;
constexpr std::uint16_t DateTimeMCAtom = 0x0FF7;
constexpr std::uint16_t GenericDateMCAtom = 0x0FF8;
constexpr std::uint16_t HeaderMCAtom = 0x0FF9;
constexpr std::uint16_t FooterMCAtom = 0x0FFA;
constexpr std::uint16_t RTFDateTimeMCAtom = 0x1015;
constexpr std::uint16_t PersistDirectoryAtomOld = 0x1771;
constexpr std::uint16_t PersistDirectoryAtom = 0x1772;
constexpr std::uint16_t DocumentEncryptionAtom = 0x2F14;
constexpr std::uint16_t OfficeArtDggContainer = 0xF000;
constexpr std::uint16_t OfficeArtDgContainer = 0xF002;
constexpr std::uint16_t OfficeArtSpgrContainer = 0xF003;
constexpr std::uint16_t OfficeArtSpContainer = 0xF004;
constexpr std::uint16_t OfficeArtFDGG = 0xF006;
constexpr std::uint16_t OfficeArtFDG = 0xF008;
constexpr std::uint16_t OfficeArtFSP = 0xF00A;
constexpr std::uint16_t OfficeArtFOPT = 0xF00B;
constexpr std::uint16_t OfficeArtClientTextbox = 0xF00D;
constexpr std::uint16_t OfficeArtClientAnchor = 0xF010;
constexpr std::uint16_t OfficeArtClientData = 0xF011;

// Instances of HeadersFooters containers and SlideListWithText.
constexpr std::uint16_t kPerPageInstance = 0;
constexpr std::uint16_t kSlideInstance = 3;
constexpr std::uint16_t kNotesInstance = 4;
constexpr std::uint16_t kSlideList = 0;
constexpr std::uint16_t kMasterList = 1;
constexpr std::uint16_t kNotesList = 2;

// Placement ids of the header/footer placeholders on masters ([MS-PPT] 2.13.21).
constexpr std::uint8_t kMasterDate = 7;
constexpr std::uint8_t kMasterSlideNumber = 8;
constexpr std::uint8_t kMasterFooter = 9;
constexpr std::uint8_t kMasterHeader = 10;

// The field that makes a placeholder of that placement show the document's setting, or 0.
// DateTimeMCAtom and RTFDateTimeMCAtom show today's date in their own format whatever the settings say,
// so they do not count.
constexpr std::uint16_t fieldOf(std::uint8_t placement) {
    switch (placement) {
        case kMasterDate:
            return GenericDateMCAtom;
        case kMasterSlideNumber:
            return SlideNumberMCAtom;
        case kMasterFooter:
            return FooterMCAtom;
        case kMasterHeader:
            return HeaderMCAtom;
        default:
            return 0;
    }
}

}  // namespace trelwick::engine::ppt::rt
