// The sample module's exports, loaded straight from the build.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using PrepareCb = void (*)(const char*, const char*, void*);

struct Decoded {
    int calls = 0;
    std::string prefix, text;
};

void Collect(const char* prefix, const char* text, void* data) {
    auto* decoded = static_cast<Decoded*>(data);
    ++decoded->calls;
    decoded->prefix = prefix ? prefix : "";
    decoded->text = text ? text : "";
}

class SampleModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_handle.reset(dlopen(VELNOR_BIN_DIR "/libsample_algo.so", RTLD_NOW | RTLD_LOCAL));
        ASSERT_TRUE(m_handle) << dlerror();
        m_code = reinterpret_cast<char* (*)(const char*)>(dlsym(m_handle.get(), "Code"));
        m_free = reinterpret_cast<void (*)(char*)>(dlsym(m_handle.get(), "FreeResult"));
        m_prepare = reinterpret_cast<int (*)(const char*, const char*, PrepareCb, void*)>(
            dlsym(m_handle.get(), "Prepare"));
        ASSERT_TRUE(m_code && m_free && m_prepare);
    }

    std::string Code(const std::string& text) {
        char* result = m_code(text.c_str());
        EXPECT_NE(nullptr, result);
        std::string copy = result ? result : "";
        m_free(result);
        return copy;
    }

    struct DlClose {
        void operator()(void* handle) const noexcept { dlclose(handle); }
    };
    std::unique_ptr<void, DlClose> m_handle;
    char* (*m_code)(const char*) = nullptr;
    void (*m_free)(char*) = nullptr;
    int (*m_prepare)(const char*, const char*, PrepareCb, void*) = nullptr;
};

}  // namespace

TEST_F(SampleModuleTest, PrepareUndoesCodeWithTheModulesKey) {
    const std::string texts[] = {
        "",
        "a",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><ticket>T-1</ticket></request>",
        "\xe4\xb8\xad\xe6\x96\x87 and \x01\x7f\xff bytes",
        std::string(5000, 'x'),
    };
    for (const auto& text : texts) {
        std::string encoded = Code(text);
        EXPECT_EQ(text.size() * 2, encoded.size());
        EXPECT_EQ(std::string::npos, encoded.find_first_not_of("0123456789abcdefABCDEF")) << encoded;
        Decoded decoded;
        EXPECT_EQ(1, m_prepare("001", encoded.c_str(), Collect, &decoded));
        EXPECT_EQ(1, decoded.calls);
        EXPECT_EQ("001", decoded.prefix);
        EXPECT_EQ(text, decoded.text);
    }
    // The key stream runs on, so repeated text does not show through.
    std::string encoded = Code(std::string(64, 'A'));
    EXPECT_NE(encoded.substr(0, 32), encoded.substr(32, 32));
}

TEST_F(SampleModuleTest, PrepareRefusesWhatItCannotDecode) {
    std::string encoded = Code("<response/>");
    // Flipping the one byte of an encoded "A" gives the hex of a lone NUL.
    char nul[3];
    snprintf(nul, sizeof(nul), "%02x", static_cast<unsigned>(std::stoul(Code("A"), nullptr, 16)) ^ 'A');
    struct Case {
        const char* name;
        const char* keyId;
        std::string input;
        PrepareCb callback;
    } cases[] = {
        {"unknown key", "009", encoded, Collect},          {"no key id", nullptr, encoded, Collect},
        {"odd length", "001", encoded.substr(1), Collect}, {"not hex", "001", "zz" + encoded, Collect},
        {"no callback", "001", encoded, nullptr},          {"decodes to a NUL", "001", nul, Collect},
    };
    for (const auto& c : cases) {
        Decoded decoded;
        EXPECT_NE(1, m_prepare(c.keyId, c.input.c_str(), c.callback, &decoded)) << c.name;
        EXPECT_EQ(0, decoded.calls) << c.name;
    }
    EXPECT_EQ(nullptr, m_code(nullptr));
}
