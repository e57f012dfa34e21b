// A whole composition run on arbitrary bytes, into a small picture with a
// fixed seed, in plain and in real mode. Besides not failing, the picture
// must have the requested size and be exactly the picture drawn without
// skipping the text that lies off the picture: that skipping is the one
// shortcut the run takes on its way.
//
// Input: width, height, font size, a byte that picks the encoding (bits 0, 1
// and 6), the face and whether the size takes a second byte and the face name comes from the
// input (a length and the bytes), then the text.

#include "FuzzSupport.h"

#include "reference/BitmapCanvas.h"
#include "reference/ComposeText.h"
#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Composition.h"

#include <vector>

namespace {

constexpr std::uint32_t Seed = 20261207;

const char* const Faces[] = {
    "ＭＳ Ｐゴシック",
    "ＭＳ 明朝",
    "No Such Face",
    "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E", // a face name in Shift-JIS bytes
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvaleth;
    fuzzing::InputBytes input(data, size);
    const int width = input.Byte() % 160;
    const int height = input.Byte() % 120;
    const std::uint8_t sizeByte = input.Byte();
    const std::uint8_t choice = input.Byte();
    // Mostly the sizes a letter is set in; now and then any size up to the largest.
    const int fontSize = choice & 0x10 ? 1 + (sizeByte | input.Byte() << 8) % 65535 : 1 + sizeByte % 48;
    const std::string faceName = choice & 0x20 ? input.Text(input.Byte() % 48) : Faces[(choice >> 2) % std::size(Faces)];
    fuzzing::MemoryFile source(input.Rest());

    CompositionSettings settings;
    settings.sourcePath = source.Path();
    settings.widthText = std::to_string(width);
    settings.heightText = std::to_string(height);
    settings.size = fontSize;
    settings.faceName = faceName;
    const SourceEncoding encodings[] = {SourceEncoding::Automatic, SourceEncoding::ShiftJis, SourceEncoding::Utf8,
                                        SourceEncoding::Automatic, SourceEncoding::Utf16,     SourceEncoding::EucJp,
                                        SourceEncoding::Iso2022Jp, SourceEncoding::Utf16Be};
    settings.encoding = encodings[(choice & 3) | (choice >> 4 & 4)];
    settings.seed = Seed;

    for (bool realMode : {false, true}) {
        settings.realMode = realMode;
        const std::unique_ptr<PixelPicture> picture = ComposePicture(settings);
        FUZZ_CHECK(picture && picture->Width() == width && picture->Height() == height, "a %dx%d picture",
                   picture ? picture->Width() : -1, picture ? picture->Height() : -1);

        TBitmap unskipped;
        unskipped.Canvas().SetOffPictureCulling(false);
        unskipped.SetHeight(height);
        unskipped.SetWidth(width);
        SourceReader reader(source.Path(), settings.encoding);
        RandomSource random(Seed);
        ComposeText(unskipped, reader, settings, random);
        reader.Close();
        FUZZ_CHECK(EncodePicture(*picture, PictureFormat::Bmp) == EncodePicture(unskipped.Pixels(), PictureFormat::Bmp),
                   "skipping off-picture text changed the picture (real mode %d)", int(realMode));
    }
    return 0;
}
