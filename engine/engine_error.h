#pragma once
// Errors raised by the document engine, and the one table of their texts.
// The texts read like the word processor's own, since they end up in the
// common error box in front of the user. Free of Qt, so that the Windows
// backend builds with nothing but the platform's compiler.

#include <stdexcept>
#include <string>
#include <string_view>

#if defined(QT_CORE_LIB)
#include <QString>
#endif

namespace marigal::engine {

std::string ToUtf8(std::u16string_view text);

class EngineError : public std::runtime_error {
public:
    explicit EngineError(std::u16string_view description)
        : std::runtime_error(ToUtf8(description)), description_(description) {}
#if defined(QT_CORE_LIB)
    explicit EngineError(const QString& description)
        : EngineError(std::u16string_view(reinterpret_cast<const char16_t*>(description.utf16()),
                                          size_t(description.size())))
    {
    }
#endif
    const std::u16string& description() const { return description_; }

private:
    std::u16string description_;
};

// No folder for the word processor's settings could be made anywhere; the
// description names each folder tried and the system's reason.
class OfficeProfileError : public EngineError {
public:
    using EngineError::EngineError;
};

namespace errtext {
inline constexpr std::u16string_view kNotSet = u"Object variable or With block variable not set";
inline constexpr std::u16string_view kTypeMismatch = u"Type mismatch";
inline constexpr std::u16string_view kOverflow = u"Overflow";
inline constexpr std::u16string_view kNoSuchMember = u"Object doesn't support this property or method";
inline constexpr std::u16string_view kCannotCreate = u"ActiveX component can't create object";
inline constexpr std::u16string_view kItemNotFound = u"The item with the specified name wasn't found.";
inline constexpr std::u16string_view kNoSuchBookmark = u"The requested member of the collection does not exist.";
inline constexpr std::u16string_view kServerGone =
    u"The remote server machine does not exist or is unavailable";
inline constexpr std::u16string_view kServerHung = u"The remote procedure call failed.";
// The office died as it reached the memory it may take.
inline constexpr std::u16string_view kOutOfMemory = u"The office ran out of memory.";
// An error the office raised that no member turned into one of its own.
inline constexpr std::u16string_view kAutomationError = u"Automation error";
inline constexpr std::u16string_view kNoDocument = u"This command is not available because no document is open.";
inline constexpr std::u16string_view kDocumentNotFound =
    u"Sorry, we couldn't find your file. Was it moved, renamed, or deleted?";
inline constexpr std::u16string_view kCannotOpen = u"Word experienced an error trying to open the file.";
inline constexpr std::u16string_view kCannotSave =
    u"Word cannot save or create this file. Make sure that the disk you want to save the file on is not full, "
    u"write-protected, or damaged.";
inline constexpr std::u16string_view kPictureNotFound = u"The picture file could not be found.";
inline constexpr std::u16string_view kNotAPicture = u"Word cannot insert this file: it is not a picture.";
inline constexpr std::u16string_view kPictureUnreadable =
    u"Word cannot insert this picture: you do not have permission to read the file.";
inline constexpr std::u16string_view kPictureTooLarge = u"Word cannot insert this picture: the file is too large.";
inline constexpr std::u16string_view kNoTextFrame = u"This object has no text frame.";
inline constexpr std::u16string_view kNotWordArt = u"This member can only be accessed for a WordArt object.";
inline constexpr std::u16string_view kArgumentNotOptional = u"Argument not optional";
inline constexpr std::u16string_view kValueOutOfRange = u"Value out of range";
inline constexpr std::u16string_view kObjectDeleted = u"Object has been deleted.";
inline constexpr std::u16string_view kClipboard = u"The picture could not be placed on the clipboard.";
inline constexpr std::u16string_view kNoSuchNamedArgument = u"Named argument not found";
inline constexpr std::u16string_view kBadFileName = u"Bad file name or number";
}  // namespace errtext

}  // namespace marigal::engine
