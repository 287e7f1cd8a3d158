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
    bool GetHasTag() const { return hasTag_; }
    void SetHasTag(bool Value) { hasTag_ = Value; }
    const std::u16string& GetArtist() const { return artist_; }
    void SetArtist(std::u16string Value) { artist_ = std::move(Value); }
    const std::u16string& GetTitle() const { return title_; }
    void SetTitle(std::u16string Value) { title_ = std::move(Value); }
    const std::u16string& GetAlbum() const { return album_; }
    void SetAlbum(std::u16string Value) { album_ = std::move(Value); }
    // Year or date as free text in the system code page.
    const std::string& GetYear() const { return year_; }
    void SetYear(std::string Value) { year_ = std::move(Value); }
    const std::u16string& GetComment() const { return comment_; }
    void SetComment(std::u16string Value) { comment_ = std::move(Value); }
    // 0 means none.
    uint8_t GetTrackNo() const { return trackNo_; }
    void SetTrackNo(uint8_t Value) { trackNo_ = Value; }
    const std::u16string& GetGenre() const { return genre_; }
    void SetGenre(std::u16string Value) { genre_ = std::move(Value); }
    // A web address as free text in the system code page.
    const std::string& GetURL() const { return url_; }
    void SetURL(std::string Value) { url_ = std::move(Value); }
    const std::u16string& GetEncodedBy() const { return encodedBy_; }
    void SetEncodedBy(std::u16string Value) { encodedBy_ = std::move(Value); }

    // Every reader ends with this: a record without artist and title carries no tag.
    void DropTagWithoutArtistAndTitle() {
        if (artist_.empty() && title_.empty()) hasTag_ = false;
    }

    bool operator==(const Ttrack&) const = default;

   private:
    bool hasTag_ = false;
    std::u16string artist_;
    std::u16string title_;
    std::u16string album_;
    std::string year_;
    std::u16string comment_;
    uint8_t trackNo_ = 0;
    std::u16string genre_;
    std::string url_;
    std::u16string encodedBy_;
};

// A track-number text: empty gives 0; otherwise a decimal integer (optional leading blanks
// and sign) kept modulo 256. Anything else raises EConvertError.
uint8_t TrackNumberFromText(const std::string& Text);

}  // namespace covrilo
