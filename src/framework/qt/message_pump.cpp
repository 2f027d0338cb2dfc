#include "framework/message_pump.h"

#include <QCoreApplication>

namespace fw {

void PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace fw
