#pragma once

class QWidget;

namespace orlix {

namespace platform {
class MessageService;
}

// Shows one warning box for each error of `errors` (a set of InputError bits), the folder's
// first, each waiting until it is closed. Boxes are titled with the application title.
void ReportInputErrors(int errors, platform::MessageService& messages, QWidget* parent);

} // namespace orlix
