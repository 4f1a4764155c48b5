// The event loop turned by hand: Qt's own queue.
#include "EventPump.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

void AfxPumpEvents(int nMilliseconds) {
  QAbstractEventDispatcher* pDispatcher = QThread::currentThread()->eventDispatcher();
  if (!pDispatcher || pDispatcher->processEvents(QEventLoop::AllEvents) || nMilliseconds <= 0)
    return;
  // Nothing was waiting: wait for the next event, or for a timer of our own.
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(nMilliseconds);
  pDispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void AfxPostCall(std::function<void()> fn) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

CEventLoopOwner::CEventLoopOwner(int& argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  m_pToolkit = new QApplication(argc, argv);
}

CEventLoopOwner::~CEventLoopOwner() { delete static_cast<QApplication*>(m_pToolkit); }
