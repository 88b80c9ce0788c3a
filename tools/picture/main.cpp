// rain-draw-picture OUTDIR
//
// Draws the program's picture and its icon from code and writes
// OUTDIR/princess.bmp, OUTDIR/mainicon.bmp and OUTDIR/icons/rain-N.png for
// every size of the desktop's icon theme: the files in resources/.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "imaging/standard_descriptors.h"
#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "imaging/image_files.h"
#include "imaging/output_file.h"
#include "tools/picture/drawings.h"

namespace {

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s OUTDIR  (writes princess.bmp, mainicon.bmp and icons/rain-N.png)\n", program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!imaging::HoldStandardDescriptors()) return 1;
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') return Usage(argv[0]);
  const std::filesystem::path out = argv[1];
  imaging::RemoveTemporaryFilesOnSignals();
  // A file size limit is a failed write like a full disk: reported, and the
  // temporary file removed, rather than the process killed half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    std::error_code error;
    if (!std::filesystem::is_directory(out, error)) throw Exception(QuotedPath(out.string()) + " is not a folder");
    std::filesystem::create_directories(out / "icons", error);
    if (error) throw Exception("cannot create " + QuotedPath((out / "icons").string()) + ": " + error.message());

    TBitmap picture;
    tools::DrawPicture(picture);
    imaging::SaveBmp24File(picture, (out / "princess.bmp").string());

    // Each size is drawn for its own pixel grid, never scaled from another;
    // the window's icon is the 32-pixel one.
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
      TBitmap icon;
      tools::DrawIcon(icon, size);
      if (size == 32) imaging::SaveBmp8File(icon, (out / "mainicon.bmp").string());
      imaging::SavePngFile(icon, (out / "icons" / ("rain-" + std::to_string(size) + ".png")).string());
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "rain-draw-picture: %s\n", e.what());
    return 1;
  }
  return 0;
}
