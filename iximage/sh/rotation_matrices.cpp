#include "iximage/sh/rotation_matrices.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "iximage/interfaces/checkpoint.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

double* rotationMatrices = nullptr;

// A block the strict check has just read in full, kept for the loader: an application that
// checks the file before loading it (as it should when the file may be damaged) then parses the
// 27 MB of text once, not twice. It is used only for the same file name with the same size and
// modification time, and it is handed over (not copied) by initializeReflectance().
struct CheckedBlock {
    std::unique_ptr<double[]> values;
    std::string filename;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
};
std::mutex checkedMutex;
CheckedBlock checkedBlock;

// Size and modification time of a file, false when they cannot be read.
bool fileIdentity(const char* filename, std::uintmax_t& size,
                  std::filesystem::file_time_type& modified) {
    std::error_code error;
    size = std::filesystem::file_size(filename, error);
    if (error) return false;
    modified = std::filesystem::last_write_time(filename, error);
    return !error;
}

// The checked block of this file if it is still the file that was checked, or null.
std::unique_ptr<double[]> takeCheckedBlock(const char* filename) {
    std::lock_guard<std::mutex> lock(checkedMutex);
    std::unique_ptr<double[]> values = std::move(checkedBlock.values);
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    if (values && checkedBlock.filename == filename && fileIdentity(filename, size, modified) &&
        size == checkedBlock.size && modified == checkedBlock.modified)
        return values;
    return nullptr;
}

// Reads numbers with the syntax of "%d" and "%lf" from a file through one reused buffer, so
// the 27 MB file is never held in memory (fresh pages cost more than the parsing here). Leading
// whitespace is skipped, an optional '+' is accepted, and a token that does not start a number
// ends the reading for good: a scanf loop stays stuck on such a token in the same way.
class NumberReader {
public:
    explicit NumberReader(std::FILE* file) : file(file), buffer(kBufferSize) {}

    bool readInt(int& value) { return read(value); }
    bool readReal(double& value) { return read(value); }

    // After a failed read: whether the file simply ended (rather than holding a token that is
    // not a number, or one out of range).
    bool ended() const { return !stuck && cursor >= filled && atEof; }
    // Whether the last number read ran up to whitespace or the end of the file ("3.5" read as
    // an integer stops at the '.', leaving the rest of the token unread).
    bool atTokenEnd() const { return cursor >= filled || isSpace(buffer[cursor]); }
    // Up to maxLength bytes of the token at the cursor, for messages.
    std::string peekToken(size_t maxLength) const {
        size_t end = cursor;
        while (end < filled && !isSpace(buffer[end]) && end - cursor < maxLength) ++end;
        std::string token(buffer.data() + cursor, end - cursor);
        for (char& c : token)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                c = '?';
        return token;
    }

private:
    static constexpr size_t kBufferSize = 1 << 18;
    // Bytes kept ahead of the cursor: every number of an ordinary file is shorter.
    static constexpr size_t kWindow = 64;

    template <class T>
    bool read(T& value) {
        if (stuck || !skipSpace()) return false;
        const char* start = buffer.data() + cursor;
        const char* end = buffer.data() + filled;
        // from_chars takes '-' but not '+'; "+-1" must still fail, as in scanf.
        if (*start == '+' && start + 1 < end && start[1] != '-') ++start;
        std::from_chars_result r = std::from_chars(start, end, value);
        // Usually the whole token lies inside the guaranteed window and the parse is final. A
        // longer one may be cut by the buffer end: bring all of it in and parse again.
        if (r.ptr - buffer.data() >= static_cast<std::ptrdiff_t>(cursor + kWindow - 2) && !atEof) {
            wholeToken();
            start = buffer.data() + cursor;
            end = buffer.data() + filled;
            if (*start == '+' && start + 1 < end && start[1] != '-') ++start;
            r = std::from_chars(start, end, value);
        }
        if (r.ptr == start) {
            stuck = true;
            return false;
        }
        // A number out of range is consumed and leaves the element as it was.
        cursor = static_cast<size_t>(r.ptr - buffer.data());
        return r.ec == std::errc();
    }

    // Skips whitespace and leaves at least kWindow bytes after the cursor unless the file
    // ends first. False at the end of the file.
    bool skipSpace() {
        for (;;) {
            while (cursor < filled && isSpace(buffer[cursor])) ++cursor;
            if (filled - cursor < kWindow && !atEof) {
                refill();
                continue;
            }
            return cursor < filled;
        }
    }

    // Makes sure the token at the cursor is complete in the buffer: it ends at whitespace or
    // at the end of the file. A token longer than the buffer makes the buffer grow.
    void wholeToken() {
        for (;;) {
            size_t end = cursor;
            while (end < filled && !isSpace(buffer[end])) ++end;
            if (end < filled || atEof) return;
            if (cursor == 0 && filled == buffer.size()) buffer.resize(buffer.size() * 2);
            refill();
        }
    }

    // Keeps the unread bytes and appends what the file has next.
    void refill() {
        if (atEof) return;
        const size_t kept = filled - cursor;
        std::memmove(buffer.data(), buffer.data() + cursor, kept);
        cursor = 0;
        filled = kept;
        const size_t got = std::fread(buffer.data() + filled, 1, buffer.size() - filled, file);
        filled += got;
        if (got == 0) atEof = true;
    }

    static bool isSpace(char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f';
    }

    std::FILE* file;
    std::vector<char> buffer;
    size_t cursor = 0;
    size_t filled = 0;
    bool atEof = false;
    bool stuck = false;
};

// Largest |D^T D - I| entry of an n x n row-major matrix.
double orthogonalityError(const std::vector<double>& D, int n) {
    double worst = 0.0;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += D[size_t(k * n + a)] * D[size_t(k * n + b)];
            worst = std::fmax(worst, std::fabs(sum - (a == b ? 1.0 : 0.0)));
        }
    return worst;
}

}  // namespace

bool readRotationMatrices(double* matrices, const char* filename, ixUtil::Progress* progress) {
    if (!filename) return false;
    std::FILE* file = std::fopen(filename, "rb");
    if (!file) return false;
    std::memset(matrices, 0, sizeof(double) * kRotationMatrixCount);

    NumberReader reader(file);
    for (int l = 0; l <= kShMaxBand; ++l) {
        if (progress && l % 2 == 0) progress->set(l / 20.0);
        for (int k = 0; k < kShPolarCount; ++k) {
            int recordBand = 0;
            int recordSample = 0;
            reader.readInt(recordBand);
            reader.readInt(recordSample);
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b)
                    reader.readReal(matrices[rotationMatrixIndex(l, a, b, k)]);
        }
    }
    if (progress) progress->set(1.0);
    std::fclose(file);
    return true;
}

bool initializeReflectance(const char* filename, ixUtil::Progress* progress) {
    if (rotationMatrices) return true;
    checkpoint(nullptr);
    setupSphericalHarmonicTables();

    if (filename) {
        if (std::unique_ptr<double[]> checked = takeCheckedBlock(filename)) {
            rotationMatrices = checked.release();
            // The same progress steps as a parse, so a caller sees one loading sequence.
            for (int l = 0; progress && l <= kShMaxBand; l += 2) progress->set(l / 20.0);
            if (progress) progress->set(1.0);
            checkpoint("spherical harmonics setup");
            return true;
        }
    }
    rotationMatrices = new double[kRotationMatrixCount];
    const bool ok = readRotationMatrices(rotationMatrices, filename, progress);
    if (!ok) {
        std::printf("Failed to load spherical harmonic matrix file %s.\n",
                    filename ? filename : "(null)");
        delete[] rotationMatrices;
        rotationMatrices = nullptr;
    }
    checkpoint("spherical harmonics setup");
    return ok;
}

void finalizeReflectance() {
    delete[] rotationMatrices;
    rotationMatrices = nullptr;
    std::lock_guard<std::mutex> lock(checkedMutex);
    checkedBlock = CheckedBlock();
}

const double* getRotationMatrices() { return rotationMatrices; }

bool verifyRotationMatrices(const char* filename, std::string* problem) {
    auto fail = [problem](const std::string& reason) {
        if (problem) *problem = reason;
        return false;
    };
    if (!filename) return fail("no file name");
    std::FILE* file = std::fopen(filename, "rb");
    if (!file) return fail("cannot be opened");
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{file};

    constexpr int kRecords = (kShMaxBand + 1) * kShPolarCount;
    // The highest band's matrices at these samples are checked for orthogonality: a rotation
    // matrix of the right size whose numbers were damaged (shifted, swapped, rounded) fails it.
    constexpr int kCheckedSamples[] = {1, 33, 66, 99};
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    const bool identified = fileIdentity(filename, size, modified);
    // Zeroed like the loader's block: entries outside each band's matrix stay zero.
    std::unique_ptr<double[]> block(new double[kRotationMatrixCount]());
    std::vector<double> matrix;
    NumberReader reader(file);
    for (int l = 0; l <= kShMaxBand; ++l) {
        const int n = 2 * l + 1;
        for (int k = 0; k < kShPolarCount; ++k) {
            const std::string record = "record " + std::to_string(l * kShPolarCount + k + 1) +
                                       " of " + std::to_string(kRecords) + " (band " +
                                       std::to_string(l) + ", sample " + std::to_string(k) + ")";
            int header[2] = {-1, -1};
            for (int& value : header)
                if (!reader.readInt(value) || !reader.atTokenEnd()) {
                    if (reader.ended()) return fail(record + " is missing: the file ends there");
                    return fail(record + ": its header is not two integers (found '" +
                                reader.peekToken(24) + "')");
                }
            if (header[0] != l || header[1] != k)
                return fail(record + ": its header reads '" + std::to_string(header[0]) + " " +
                            std::to_string(header[1]) + "', expected '" + std::to_string(l) + " " +
                            std::to_string(k) + "'");
            matrix.assign(size_t(n * n), 0.0);
            for (int i = 0; i < n * n; ++i) {
                double& value = matrix[size_t(i)];
                if (!reader.readReal(value) || !reader.atTokenEnd() || !std::isfinite(value)) {
                    if (reader.ended())
                        return fail(record + " is cut short: the file ends after " +
                                    std::to_string(i) + " of its " + std::to_string(n * n) +
                                    " numbers");
                    return fail(record + ": number " + std::to_string(i + 1) + " of " +
                                std::to_string(n * n) + " is not a finite number");
                }
            }
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b)
                    block[size_t(rotationMatrixIndex(l, a, b, k))] =
                        matrix[size_t((a + l) * n + b + l)];
            if (l == kShMaxBand)
                for (int checked : kCheckedSamples) {
                    if (checked != k) continue;
                    const double error = orthogonalityError(matrix, n);
                    if (!(error <= 1e-6))
                        return fail(record + ": the matrix is not a rotation (|D^T D - I| = " +
                                    std::to_string(error) + ")");
                }
        }
    }
    if (identified) {
        std::lock_guard<std::mutex> lock(checkedMutex);
        checkedBlock.values = std::move(block);
        checkedBlock.filename = filename;
        checkedBlock.size = size;
        checkedBlock.modified = modified;
    }
    return true;
}

}  // namespace ixImage
