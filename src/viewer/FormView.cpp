// Placeholder so that the library links while the viewer is written; replaced by the viewer.
#include "viewer/FormView.h"

namespace orlix {

FormView::FormView(const platform::ScreenMetrics&, platform::MessageService&, SettingsWindowLink*,
                   QWidget* parent)
    : QWidget(parent) {}

FormView::~FormView() = default;

void FormView::Form_Load() {}

} // namespace orlix
