// SPDX-License-Identifier: MIT
// TXMLIni: a line-oriented key store kept in an XML-shaped text file. It is not an XML
// parser: sections are lines indented by two blanks, keys lines indented by four, and
// every other line is kept and written back untouched.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace covrilo {

class EXMLIniException : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

class TXMLIni {
   public:
    // Loads FileName, or creates it at once as the empty four-line document. With
    // RaiseErrors a missing file (after creating it) raises EXMLIniException.
    TXMLIni(std::filesystem::path FileName, bool RaiseErrors);
    // Writes all lines back to the file (unless SetUpdateOnDestroy(false)); errors are
    // swallowed here, so call UpdateFile first wherever a failed write has to be reported.
    virtual ~TXMLIni();
    // A reader that must leave the file as it is (the command line) switches this off.
    void SetUpdateOnDestroy(bool Value) { updateOnDestroy_ = Value; }
    TXMLIni(const TXMLIni&) = delete;
    TXMLIni& operator=(const TXMLIni&) = delete;

    // Writes all lines to the file, replacing it. Throws std::system_error on failure.
    void UpdateFile() const;

    int FindSectionLine(const std::string& Name) const;
    bool SectionExists(const std::string& Section) const;
    void AddSection(const std::string& Section);
    std::string ReadString(const std::string& Section, const std::string& Key,
                           const std::string& Default) const;
    int32_t ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const;
    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
    void WriteInteger(const std::string& Section, const std::string& Key, int32_t Value);
    bool ValueExists(const std::string& Section, const std::string& Key) const;
    void DeleteKey(const std::string& Section, const std::string& Key);

    virtual void ReadSection(const std::string& Section, std::vector<std::string>& Names) const;
    virtual void ReadSections(std::vector<std::string>& Names) const;
    virtual void ReadSectionValues(const std::string& Section, std::vector<std::string>& Values) const;

    static std::string StripBlanks(const std::string& Name);
    static std::string EncodeValue(const std::string& Value);
    static std::string DecodeValue(const std::string& Value);

    const std::filesystem::path& FileName() const { return fileName_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool RaiseErrors() const { return raiseErrors_; }
    void SetRaiseErrors(bool Value) { raiseErrors_ = Value; }

   private:
    std::filesystem::path fileName_;
    std::vector<std::string> lines_;
    bool raiseErrors_;
    bool updateOnDestroy_ = true;
};

}  // namespace covrilo
