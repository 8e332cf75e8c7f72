#pragma once
// Certificates for the TLS tests, made with the openssl command in a fresh folder: a test CA and
// leaves it signed (for 127.0.0.1 and localhost; for another host; one that has expired), a
// self-signed one, and one signed by a second CA nobody trusts. Clients trust the test CA when
// SSL_CERT_FILE names CaFile() (Trust() sets it for this process and its children).
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace wl::test {

class TTestCertificates {
  public:
    struct TPair {
        std::string Cert, Key;
    };

    TTestCertificates() {
        std::string pattern = (std::filesystem::temp_directory_path() / "wl-certs-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FDir = pattern;
        MakeCa("ca", "Weekleaf Test CA");
        MakeCa("stranger-ca", "Unknown CA");
        Good = Leaf("good", "ca", "IP:127.0.0.1,DNS:localhost", "30");
        WrongHost = Leaf("wrong-host", "ca", "IP:10.9.8.7,DNS:sync.example.org", "30");
        Expired = Leaf("expired", "ca", "IP:127.0.0.1,DNS:localhost", "-1");
        UnknownIssuer = Leaf("unknown-issuer", "stranger-ca", "IP:127.0.0.1,DNS:localhost", "30");
        SelfSigned = {File("self-signed.pem"), File("self-signed.key")};
        Run("req -x509 " + NewKey(SelfSigned.Key) + " -days 30 -subj /CN=localhost -addext " +
            "subjectAltName=IP:127.0.0.1,DNS:localhost -out " + SelfSigned.Cert);
    }
    ~TTestCertificates() {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }
    TTestCertificates(const TTestCertificates&) = delete;
    TTestCertificates& operator=(const TTestCertificates&) = delete;

    std::string CaFile() const { return File("ca.pem"); }
    std::string File(const std::string& name) const { return (FDir / name).string(); }
    void Trust() const { ::setenv("SSL_CERT_FILE", CaFile().c_str(), 1); }

    TPair Good, WrongHost, Expired, SelfSigned, UnknownIssuer;

  private:
    void Run(const std::string& args) const {
        const std::string command = "openssl " + args + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    }
    // EC keys: made in milliseconds, unlike RSA.
    static std::string NewKey(const std::string& keyFile) {
        return "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + keyFile;
    }
    void MakeCa(const std::string& name, const std::string& commonName) const {
        Run("req -x509 " + NewKey(File(name + ".key")) + " -days 30 -subj '/CN=" + commonName +
            "' -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign "
            "-out " +
            File(name + ".pem"));
    }
    // A certificate signed by CA `ca`, valid for `days` from now (a negative count has expired).
    TPair Leaf(const std::string& name, const std::string& ca, const std::string& names,
               const std::string& days) {
        TPair pair{File(name + ".pem"), File(name + ".key")};
        Run("req " + NewKey(pair.Key) + " -subj /CN=" + name + " -out " + File(name + ".csr"));
        const std::string extensions = File(name + ".ext");
        if (std::system(("printf 'subjectAltName=" + names + "\\n' > " + extensions).c_str()) != 0)
            throw std::runtime_error("cannot write " + extensions);
        Run("x509 -req -in " + File(name + ".csr") + " -CA " + File(ca + ".pem") + " -CAkey " +
            File(ca + ".key") + " -set_serial " + std::to_string(++FSerial) + " -days " + days +
            " -extfile " + extensions + " -out " + pair.Cert);
        return pair;
    }

    std::filesystem::path FDir;
    int FSerial = 1000;
};

}  // namespace wl::test
