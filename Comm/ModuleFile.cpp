#include "ModuleFile.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

struct LzmaStreamEnd {
    void operator()(lzma_stream* stream) const noexcept { lzma_end(stream); }
};
using LzmaStreamOwner = std::unique_ptr<lzma_stream, LzmaStreamEnd>;

constexpr size_t kFirstOutputSize = 256u << 10;

// The decoder needs no window larger than what it may produce, so a hostile
// properties block cannot make it allocate gigabytes.
uint32_t DictionaryFor(uint32_t requested, size_t imageSize) {
    uint64_t bound = std::max<uint64_t>(LZMA_DICT_SIZE_MIN, imageSize);
    return static_cast<uint32_t>(std::min<uint64_t>(requested, bound));
}

void PutText(std::vector<unsigned char>& out, const std::string& text) {
    out.push_back(static_cast<unsigned char>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

void CModuleFile::Scramble(unsigned char* data, size_t size) {
    for (size_t i = 0; i + 1 < size; ++i) data[i] ^= data[i + 1];
}

void CModuleFile::Unscramble(unsigned char* data, size_t size) {
    if (size < 2) return;
    for (size_t i = size - 1; i-- > 0;) data[i] ^= data[i + 1];
}

int CModuleFile::ParseHeader(const unsigned char* data, size_t size, Header& header) {
    if (!data) return kShort;
    size_t pos = 0;
    auto take = [&](size_t count, std::string* into) {
        if (count > size - pos) return false;
        if (into) into->assign(reinterpret_cast<const char*>(data + pos), count);
        pos += count;
        return true;
    };
    auto takeText = [&](std::string& into) {
        if (pos >= size) return false;
        size_t length = data[pos++];
        return take(length, &into);
    };
    Header parsed;
    if (!take(kKeyIdSize, &parsed.keyId) || !takeText(parsed.key) || !takeText(parsed.algoId)) return kShort;
    if (kPropsSize + 4 > size - pos) return kShort;
    std::copy(data + pos, data + pos + kPropsSize, parsed.props);
    pos += kPropsSize;
    parsed.unpackedSize = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
                          static_cast<uint32_t>(data[pos + 2]) << 16 |
                          static_cast<uint32_t>(data[pos + 3]) << 24;
    pos += 4;
    parsed.streamOffset = pos;
    parsed.streamSize = size - pos;
    header = std::move(parsed);
    return kOk;
}

int CModuleFile::Pack(std::vector<unsigned char>& out, uint32_t preset) const {
    if (keyId.size() != kKeyIdSize || key.size() > kMaxTextSize || algoId.size() > kMaxTextSize)
        return kBadField;
    if (image.empty() || image.size() > kMaxImageSize) return kTooLarge;

    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset)) return kLzma;
    options.dict_size = DictionaryFor(options.dict_size, image.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::vector<unsigned char> file;
    file.insert(file.end(), keyId.begin(), keyId.end());
    PutText(file, key);
    PutText(file, algoId);
    unsigned char props[kPropsSize];
    if (lzma_properties_encode(filters, props) != LZMA_OK) return kLzma;
    file.insert(file.end(), props, props + kPropsSize);
    uint32_t size = static_cast<uint32_t>(image.size());
    for (int shift = 0; shift < 32; shift += 8) file.push_back(static_cast<unsigned char>(size >> shift));
    size_t streamOffset = file.size();

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) return kLzma;
    LzmaStreamOwner owner(&stream);
    stream.next_in = image.data();
    stream.avail_in = image.size();
    // Incompressible input grows a little; the loop enlarges as needed.
    file.resize(streamOffset + image.size() + image.size() / 16 + 4096);
    for (;;) {
        stream.next_out = file.data() + streamOffset + stream.total_out;
        stream.avail_out = file.size() - streamOffset - stream.total_out;
        lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK) return kLzma;
        if (stream.avail_out == 0) file.resize(file.size() + file.size() / 2);
    }
    file.resize(streamOffset + stream.total_out);
    Scramble(file.data() + streamOffset, file.size() - streamOffset);
    out = std::move(file);
    return kOk;
}

bool CModuleFile::UnsupportedCompression(const unsigned char props[kPropsSize]) {
    return props[0] < 9 * 5 * 5 && props[0] % 9 + props[0] / 9 % 5 > LZMA_LCLP_MAX;
}

int CModuleFile::Unpack(const unsigned char* data, size_t size) {
    Header header;
    int result = ParseHeader(data, size, header);
    if (result != kOk) return result;
    if (header.unpackedSize == 0 || header.unpackedSize > kMaxImageSize) return kTooLarge;
    if (UnsupportedCompression(header.props)) return kLzma;

    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, header.props, kPropsSize) != LZMA_OK) return kLzma;
    std::unique_ptr<lzma_options_lzma, decltype(&free)> options(
        static_cast<lzma_options_lzma*>(filter.options), &free);
    options->dict_size = DictionaryFor(options->dict_size, header.unpackedSize);
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, options.get()}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::vector<unsigned char> stream(data + header.streamOffset, data + size);
    Unscramble(stream.data(), stream.size());

    lzma_stream coder = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&coder, filters) != LZMA_OK) return kLzma;
    LzmaStreamOwner owner(&coder);
    coder.next_in = stream.data();
    coder.avail_in = stream.size();
    std::vector<unsigned char> unpacked(std::min<size_t>(header.unpackedSize, kFirstOutputSize));
    coder.next_out = unpacked.data();
    coder.avail_out = unpacked.size();
    for (;;) {
        lzma_ret ret = lzma_code(&coder, LZMA_RUN);
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK) return kLzma;
        // Input used up with room left: the stream ended early.
        if (coder.avail_out != 0) return kTruncated;
        if (unpacked.size() == header.unpackedSize) break;
        unpacked.resize(std::min<size_t>(header.unpackedSize, unpacked.size() * 2));
        coder.next_out = unpacked.data() + coder.total_out;
        coder.avail_out = unpacked.size() - coder.total_out;
    }
    if (coder.total_out == 0) return kTruncated;
    unpacked.resize(coder.total_out);

    keyId = std::move(header.keyId);
    key = std::move(header.key);
    algoId = std::move(header.algoId);
    image = std::move(unpacked);
    return kOk;
}

const char* CModuleFile::ErrorText(int result) {
    switch (result) {
        case kOk:
            return "ok";
        case kBadField:
            return "a field does not fit the module file";
        case kShort:
            return "the header runs past the end of the file";
        case kTooLarge:
            return "the image is empty or larger than 64 MiB";
        case kLzma:
            return "the LZMA stream cannot be coded";
        case kTruncated:
            return "the LZMA stream ends early";
        default:
            return "unknown error";
    }
}
