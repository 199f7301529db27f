// The module's resources: the version record, the string table and the toolbox bitmaps.
// Hosts and tools read them from the file (platform/com/Resources.h).

#include "platform/com/Resources.h"
#include "midi/PropPages.h"
#include "midi/module/Strings.h"

namespace varnkit::midictl {
namespace {

// Marks the module as one that registers itself.
VARNKIT_RESOURCE(kVersion, "VERSION", 1,
                 "FileVersion=2.0.0.1\n"
                 "ProductVersion=2.0.0.1\n"
                 "Language=0x0407\n"
                 "CodePage=1200\n"
                 "FileDescription=Ned's Devu DodareV\n"
                 "ProductName=Ned's Devu DodareV\n"
                 "InternalName=Zadu ZUV\n"
                 "OriginalFilename=Midi.OCX\n"
                 "OLESelfRegister=\n");

VARNKIT_RESOURCE(kString1, "STRING", 1, kInControlName);
VARNKIT_RESOURCE(kString2, "STRING", 2, kInPageName);
VARNKIT_RESOURCE(kString3, "STRING", 3, kOutControlName);
VARNKIT_RESOURCE(kString4, "STRING", 4, kOutPageName);
VARNKIT_RESOURCE(kString200, "STRING", kInPageCaptionId, kPageCaption);
VARNKIT_RESOURCE(kString201, "STRING", kOutPageCaptionId, kPageCaption);

// Toolbox bitmaps, 16 × 15 in two of 16 colours: the controls' design-time faces in small.
VARNKIT_RESOURCE(kBitmap1, "BITMAP", 1, R"(/* XPM */
static const char* midi_in[] = {
"16 15 2 1",
". c #000000",
"b c #0000FF",
"................",
"................",
"................",
"................",
"...bbb.b...b....",
"....b..bb..b....",
"....b..b.b.b....",
"....b..b..bb....",
"....b..b...b....",
"....b..b...b....",
"...bbb.b...b....",
"................",
"................",
"................",
"................"};
)");

VARNKIT_RESOURCE(kBitmap2, "BITMAP", 2, R"(/* XPM */
static const char* midi_out[] = {
"16 15 2 1",
". c #000000",
"b c #0000FF",
"................",
"................",
"................",
"................",
"..bb..b..b.bbb..",
".b..b.b..b..b...",
".b..b.b..b..b...",
".b..b.b..b..b...",
".b..b.b..b..b...",
".b..b.b..b..b...",
"..bb...bb...b...",
"................",
"................",
"................",
"................"};
)");

}  // namespace
}  // namespace varnkit::midictl
