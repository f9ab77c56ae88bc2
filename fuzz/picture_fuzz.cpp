// libFuzzer entry point: any bytes, saved under any picture extension, must load or be refused
// with the file's name and a reason, and whatever loads must survive the stage-file round trip.
// A broken promise aborts with what was broken; crashes, leaks and sanitizer reports end the
// run by themselves.
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/picture_check.h"

namespace {

std::filesystem::path scratch;

// Qt's readers warn about every damaged file they meet; the refusal already says why, and writing
// the warnings costs more than reading the file.
void dropQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "edgepipe-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("edgepipe-fuzz: cannot make a scratch directory");
        std::abort();
    }
    scratch = pattern;
    qInstallMessageHandler(dropQtMessages);
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::Result result = fuzzing::checkPictureBytes(data, size, scratch);
    if (!result.problem.empty()) {
        std::fprintf(stderr, "edgepipe-fuzz: %s\n", result.problem.c_str());
        std::abort();
    }
    return 0;
}
