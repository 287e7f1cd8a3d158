// SPDX-License-Identifier: MIT
// Ttrack: the neutral track record that every tag format is read into and written from.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace covrilo {

// A text that should hold a number but does not (a track-number text such as "A1").
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Ttrack {
public:
    bool GetHasTag() const { return HasTag_; }
    void SetHasTag(bool Value) { HasTag_ = Value; }
    const std::u16string& GetArtist() const { return Artist_; }
    void SetArtist(std::u16string Value) { Artist_ = std::move(Value); }
    const std::u16string& GetTitle() const { return Title_; }
    void SetTitle(std::u16string Value) { Title_ = std::move(Value); }
    const std::u16string& GetAlbum() const { return Album_; }
    void SetAlbum(std::u16string Value) { Album_ = std::move(Value); }
    // Year or date as free text in the system code page.
    const std::string& GetYear() const { return Year_; }
    void SetYear(std::string Value) { Year_ = std::move(Value); }
    const std::u16string& GetComment() const { return Comment_; }
    void SetComment(std::u16string Value) { Comment_ = std::move(Value); }
    // 0 means none.
    uint8_t GetTrackNo() const { return TrackNo_; }
    void SetTrackNo(uint8_t Value) { TrackNo_ = Value; }
    const std::u16string& GetGenre() const { return Genre_; }
    void SetGenre(std::u16string Value) { Genre_ = std::move(Value); }
    // A web address as free text in the system code page.
    const std::string& GetURL() const { return URL_; }
    void SetURL(std::string Value) { URL_ = std::move(Value); }
    const std::u16string& GetEncodedBy() const { return EncodedBy_; }
    void SetEncodedBy(std::u16string Value) { EncodedBy_ = std::move(Value); }

    // Every reader ends with this: a record without artist and title carries no tag.
    void DropTagWithoutArtistAndTitle() {
        if (Artist_.empty() && Title_.empty()) HasTag_ = false;
    }

    bool operator==(const Ttrack&) const = default;

private:
    bool HasTag_ = false;
    std::u16string Artist_;
    std::u16string Title_;
    std::u16string Album_;
    std::string Year_;
    std::u16string Comment_;
    uint8_t TrackNo_ = 0;
    std::u16string Genre_;
    std::string URL_;
    std::u16string EncodedBy_;
};

// A track-number text: empty gives 0; otherwise a decimal integer (optional leading blanks
// and sign) kept modulo 256. Anything else raises EConvertError.
uint8_t TrackNumberFromText(const std::string& Text);

}  // namespace covrilo
