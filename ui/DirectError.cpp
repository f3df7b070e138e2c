#include "ui/DirectError.h"

#include <algorithm>
#include <array>

#include "common/Host.h"

namespace vantor::ui {

namespace {

// Where two layers share a system code, the table keeps one text for it.
constexpr std::array<TErrorDescription, 69> kDescriptions{{
    {0x80004002, "The specified interface is not supported by the object."},
    {0x80004005, "An undetermined error occurred inside the DirectInput subsystem."},
    {0x80040154, "The device or device instance is not registered with DirectInput."},
    {0x80070005, "Another application has a higher priority level."},
    {0x80070007, "Data is not yet available."},
    {0x8007000C, "The operation cannot be performed unless the device is acquired."},
    {0x8007000E, "DirectDraw does not have enough memory to perform the operation."},
    {0x8007001E, "Access to the input device has been lost."},
    {0x80070057, "One or more of the parameters passed to the method are incorrect."},
    {0x800700AA, "The operation cannot be performed while the device is acquired."},
    {0x8007047E, "The application requires a newer version of DirectInput."},
    {0x80070481,
     "The application was written for an unsupported prerelease version of DirectInput."},
    {0x8876005F, "Unable to match primary surface creation request with existing primary surface."},
    {0x88760064, "One or more of the capability bits passed to the callback are incorrect."},
    {0x8876006E, "DirectDraw does not support the provided clip list."},
    {0x88760082, "DirectDraw received a pointer that was an invalid DirectDraw object."},
    {0x88760091, "The pixel format was invalid as specified."},
    {0x887600A0, "One or more surfaces are locked, preventing the operation."},
    {0x887600B4, "No alpha acceleration hardware is present or available."},
    {0x887600CD, "No clip list is available."},
    {0x887600D4, "A create function was called before the cooperative level was set."},
    {0x887600E1,
     "The operation requires the application to have exclusive mode, but the application does "
     "not have exclusive mode."},
    {0x887600E6, "Flipping visible surfaces is not supported."},
    {0x88760104, "The operation cannot be carried out because no overlay hardware is present."},
    {0x88760136,
     "The operation cannot be carried out because there is no hardware support for "
     "stretching."},
    {0x88760140, "The surface is not using an 8-bit color palette, which the operation requires."},
    {0x88760154,
     "The operation cannot be carried out because there is no hardware support for "
     "z-buffers."},
    {0x8876017C, "DirectDraw does not have enough display memory to perform the operation."},
    {0x887601AE,
     "Access to the surface is refused because the surface is locked by another "
     "thread."},
    {0x887601C2, "Access to the surface is refused because the surface memory is gone."},
    {0x8876021C,
     "The previous blit operation that is transferring information to or from this "
     "surface is incomplete."},
    {0x88760231,
     "The GUID passed to DirectDrawCreate is not a valid DirectDraw driver "
     "identifier."},
    {0x88760232,
     "A DirectDraw object representing this driver has already been created for "
     "this process."},
    {0x88760233,
     "Hardware-only DirectDraw object creation is not possible; the driver does not "
     "support any hardware."},
    {0x88760234, "This process has already created a primary surface."},
    {0x88760235, "Software emulation is not available."},
    {0x88760238, "No DirectDrawClipper object is attached to the surface object."},
    {0x8876023A,
     "DirectDraw cannot restore its state because the window of its cooperative "
     "level has been subclassed."},
    {0x8876023B,
     "The window of the cooperative level has already been set; it cannot be reset "
     "while the process has surfaces or palettes."},
    {0x8876023C, "No palette object is attached to this surface."},
    {0x8876023D, "There is no hardware support for 16- or 256-color palettes."},
    {0x8876023F, "No blitter hardware is present."},
    {0x88760245,
     "An attempt was made to set the cooperative level when it was already set to "
     "exclusive."},
    {0x88760246, "An attempt has been made to flip a surface that cannot be flipped."},
    {0x8876024E, "The display is currently in an unsupported mode."},
    {0x8876024F,
     "The operation cannot be carried out because no mipmap texture mapping "
     "hardware is present."},
    {0x88760250,
     "The requested operation could not be performed because the surface was of "
     "the wrong type."},
    {0x88770005, "This object is already initialized."},
    {0x8877000A, "The session is full or an incorrect password was supplied."},
    {0x8877003C, "A new player cannot be created."},
    {0x8877005A, "An exception occurred when processing the request."},
    {0x88770078, "The flags passed to this method are invalid."},
    {0x88770082, "The DirectPlay object pointer is invalid."},
    {0x887700AA, "No communication link was established."},
    {0x887700DC, "There are no existing sessions for this game."},
    {0x887700F0, "The operation could not be completed in the specified time."},
    {0x887700FA, "The requested function is not available at this time."},
    {0x88770118, "User Cancel!"},
    {0x88770122, "The server cannot be created for the new session."},
    {0x88770140, "The requested object has not been initialized."},
    {0x8877014A, "The session is not accepting any new players."},
    {0x8877015E, "The method is in the process of connecting to the network."},
    {0x88770168, "The service provider connection was reset while data was being sent."},
    {0x887707D0, "The password or credentials supplied could not be authenticated."},
    {0x887707DA,
     "No credentials were supplied and the security support provider that would ask "
     "for them cannot be loaded."},
    {0x887707EE, "The requested information could not be digitally signed."},
    {0x887707F8, "The software security package cannot be loaded."},
    {0x8877080C,
     "No credentials were supplied and the cryptography package that would provide "
     "them cannot be loaded."},
    {0x88770820,
     "The session could not be opened because credentials are required and none, "
     "or invalid ones, were supplied."},
}};

}  // namespace

std::span<const TErrorDescription> ErrorDescriptions() {
  return kDescriptions;
}

QString ErrorDescription(int32_t code) {
  const auto key = static_cast<uint32_t>(code);
  const auto* row =
      std::find_if(kDescriptions.begin(), kDescriptions.end(),
                   [key](const TErrorDescription& entry) { return entry.code == key; });
  if (row == kDescriptions.end()) return QStringLiteral("Unknown Error!");
  return QString::fromLatin1(row->text);
}

QString DXErrorText(int32_t code, const QString& context) {
  const QChar cr(13);
  return QStringLiteral("Error : ") + QString::number(code) + cr + context + cr +
         ErrorDescription(code);
}

void ReportDXError(int32_t code, const QString& context) {
  // A lone carriage return breaks the line where the box was first drawn; here a box breaks
  // lines only at line feeds.
  QString text = DXErrorText(code, context);
  text.replace(QChar(13), QChar(10));
  ShowMessage(text.toStdString());
}

}  // namespace vantor::ui
