// CStatsCipher: the AES-128-CBC (PKCS#7) and hex layer of traffic statistics
// reports, with this project's key and IV constants. Stateless; any thread.
#pragma once

#include <string>

class CStatsCipher {
public:
    static constexpr const char* kTokenKey = "VelnorTokenKey16";
    static constexpr const char* kTokenIV = "VelnorTokenIV016";
    static constexpr const char* kBodyKey = "VelnorBodyKey016";
    static constexpr const char* kBodyIV = "VelnorBodyIV0016";

    // Lower-case hex of the ciphertext.
    static std::string EncryptHex(const std::string& plain, const char* key, const char* iv);
    // False on bad hex, bad padding or a wrong key.
    static bool DecryptHex(const std::string& hex, const char* key, const char* iv, std::string& plain);

    // The report body the service posts for one JSON record.
    static std::string SealRecord(const std::string& recordJson);
    // The JSON record inside a posted body; false with a reason when it cannot be opened.
    static bool OpenReport(const std::string& body, std::string& recordJson, std::string& error);
};
