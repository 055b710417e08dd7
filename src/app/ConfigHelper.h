// Settings read once at start-up from the ini file beside the executable, and
// the product version stamped into the executable by the build.
#pragma once

#include <cstdint>
#include <string>

class CConfigHelper {
  public:
    CConfigHelper() = default;
    virtual ~CConfigHelper() = default;

    // 1 when the file could be opened (even if empty), 0 otherwise; keys the
    // file does not name keep their values.
    int Load(std::string fileName);
    // Leaves the product version untouched when the module carries no stamp.
    void ReadProductVersion(const std::string& modulePath);

    std::string GetArtDir() const { return m_strArtDir; }
    std::string GetArtUrl() const { return m_strArtUrl; }
    std::string GetServerIpAddrUrl() const { return m_strServerIpAddrUrl; }
    std::string GetProductVersion() const { return m_strProductVersion; }
    std::string GetErrorInfoUrl() const { return m_strErrorInfoUrl; }
    std::string GetPlayerPages() const { return m_strPlayerPages; }
    std::string GetHelpUrl() const { return m_strHelpUrl; }
    // The public key file that downloaded packages are verified with.
    std::string GetPackageKey() const { return m_strPackageKey; }
    // The certificates (PEM) that alone vouch for the service; empty: the system's.
    std::string GetCaFile() const { return m_strCaFile; }

  private:
    std::string m_strArtDir;
    std::string m_strArtUrl;

  public:
    int32_t m_nFullScreen = 0;
    // Owned by the main frame: set between a finished download and the next one.
    int32_t m_nFrameFlag = 0;

  private:
    std::string m_strServerIpAddrUrl;
    std::string m_strProductVersion;
    std::string m_strErrorInfoUrl;
    std::string m_strPlayerPages;
    std::string m_strHelpUrl;
    std::string m_strSmsAddrUrl;
    std::string m_strPackageKey;
    std::string m_strCaFile;
};
