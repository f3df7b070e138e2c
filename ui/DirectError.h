// Failures of the input layer as the user sees them: a box with the result code, what was being
// done and the code's description.
#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace vantor::ui {

struct TErrorDescription {
  uint32_t code;
  const char* text;
};

// The known result codes of the display, input and network layers with their descriptions.
std::span<const TErrorDescription> ErrorDescriptions();

// The description of a code, "Unknown Error!" for one not in the table.
QString ErrorDescription(int32_t code);

// "Error : " + the code in signed decimal + CR + context + CR + description.
QString DXErrorText(int32_t code, const QString& context);

// Shows DXErrorText in a box over the program's windows and returns; the program goes on.
void ReportDXError(int32_t code, const QString& context);

}  // namespace vantor::ui
