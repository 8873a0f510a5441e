#pragma once
// The report's files: the PDF printed from the report's HTML through Qt's
// text document and PDF writer, and the SHA-256 of the files it names.
// Needs Qt Gui: a QGuiApplication must exist before WritePdf is called
// (the offscreen platform does; see EnsureGuiApplication).
#include <memory>
#include <optional>
#include <string>

class QGuiApplication;

namespace veltra::acceptance {

// Prints the HTML to a PDF file (A4); the error's text when it fails.
std::optional<std::string> WritePdf(const std::string& html, const std::string& path, const std::string& title);
// Writes the text to the file; the error's text when it fails.
std::optional<std::string> WriteTextFile(const std::string& text, const std::string& path);
// The SHA-256 of a file's bytes in hexadecimal; nothing when it cannot be read.
std::optional<std::string> FileSha256(const std::string& path);
// For a program without a window (veltra-cli): the QGuiApplication the PDF
// needs, on the offscreen platform, for the caller to keep while it writes;
// null when a QGuiApplication exists already. Throws std::runtime_error
// when another kind of application object exists.
std::unique_ptr<QGuiApplication> MakeGuiApplication();

}  // namespace veltra::acceptance
