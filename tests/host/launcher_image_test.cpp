// The largest payload a launcher can carry, found without writing it: the
// layout alone decides, from the carried image and the sizes.
#include "packer/image/embedded_files.h"
#include "packer/image/image_checksum.h"
#include "packer/image/launcher_image.h"
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

std::vector<unsigned char> carried_image() {
    qarvel::EmbeddedFile image = qarvel::launcher_image_file();
    return {image.bytes, image.bytes + image.size};
}

constexpr uint64_t resources = 40000;

// The refusal names the largest payload that fits; that payload fits, and one
// page more does not.
TEST(LauncherSize, TheNamedLargestPayloadIsTheBoundary) {
    auto bytes = carried_image();
    if (bytes.empty())
        GTEST_SKIP() << "this build carries no launcher image";
    const qarvel::LauncherImage image(bytes);
    std::string refusal;
    try {
        image.lay_out(uint64_t{2} << 30, 0, 0, resources, false);
    } catch (const qarvel::Refusal& error) {
        refusal = error.what();
    }
    ASSERT_NE(refusal.find("Windows loads no image that large"), std::string::npos) << refusal;
    const std::string before = "its payload at or below ";
    size_t at = refusal.find(before);
    ASSERT_NE(at, std::string::npos) << refusal;
    uint64_t largest = std::stoull(refusal.substr(at + before.size()));
    EXPECT_GT(largest, uint64_t{1790} << 20);

    auto layout = image.lay_out(largest, 0, 0, resources, false);
    EXPECT_LE(layout.file_bytes, qarvel::largest_launcher_bytes);
    EXPECT_THROW(image.lay_out(largest + 4096, 0, 0, resources, false), qarvel::Refusal);
}

// A checksum over pieces equals the checksum over the whole, with the
// field's own bytes left out wherever they fall.
TEST(LauncherChecksum, PiecesAddUpToTheWhole) {
    std::vector<unsigned char> file(4096 * 3 + 8);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<unsigned char>(i * 131 + 7);
    qarvel::ImageChecksum whole(0xD8), pieces(0xD8);
    whole.add(0, file.data(), file.size());
    pieces.add(0, file.data(), 4096);
    pieces.add(4096, file.data() + 4096, file.size() - 4096);
    EXPECT_EQ(whole.finish(file.size()), pieces.finish(file.size()));
    // Pieces of odd lengths, as a stream writes them, split words and the
    // field itself; out of order too.
    for (size_t split : {size_t{1}, size_t{0xD9}, size_t{0xDB}, size_t{4097}}) {
        qarvel::ImageChecksum odd(0xD8);
        odd.add(split + 3, file.data() + split + 3, file.size() - split - 3);
        odd.add(0, file.data(), split);
        odd.add(split, file.data() + split, 3);
        EXPECT_EQ(odd.finish(file.size()), whole.finish(file.size())) << "split at " << split;
    }

    // Changing the field's bytes changes nothing; changing any other does.
    qarvel::ImageChecksum field_changed(0xD8), other_changed(0xD8);
    auto changed = file;
    changed[0xD8] ^= 0xFF;
    field_changed.add(0, changed.data(), changed.size());
    EXPECT_EQ(field_changed.finish(file.size()), whole.finish(file.size()));
    changed[0xDC] ^= 0xFF;
    other_changed.add(0, changed.data(), changed.size());
    EXPECT_NE(other_changed.finish(file.size()), whole.finish(file.size()));
}

// The payload is read in place from the launcher that the new one replaces
// (Windows replaces no file while it is mapped): the result is the same.
TEST(LauncherCommand, RemadeFromItsOwnPayloadInItsOwnPlace) {
    qarvel_test::ScratchFolder scratch;
    qarvel_test::Bytes program = qarvel_test::windows_program();
    auto body = qarvel_test::pattern_bytes(300000, 3);
    program.insert(program.end(), body.begin(), body.end());
    qarvel_test::write_bytes(scratch / "app/main.exe", program);
    const std::string launcher = (scratch / "out/tool.exe").string();
    const std::vector<std::string> identity = {"--company", "Acme",    "--product", "Tool",
                                               "--version", "1.2.0.0", "-q"};
    std::vector<std::string> from_folder = {
        "launcher", (scratch / "app").string(), "--main", "main.exe", "-o", launcher};
    from_folder.insert(from_folder.end(), identity.begin(), identity.end());
    auto made = qarvel_test::run_pack(from_folder);
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const qarvel_test::Bytes first = qarvel_test::read_bytes(launcher);

    std::vector<std::string> again = {"launcher", "--payload", launcher, "-o", launcher};
    again.insert(again.end(), identity.begin(), identity.end());
    auto remade = qarvel_test::run_pack(again);
    ASSERT_EQ(remade.exit_code, 0) << remade.err;
    EXPECT_EQ(qarvel_test::read_bytes(launcher), first);
}

} // namespace
