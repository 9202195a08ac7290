// The real message boxes on a real X server (Xvfb): their captions as the server
// holds them, read back by xprop, since Qt's windowTitle() is not what X shows.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "device/sim/SimMachine.h"
#include "support/RecordingWindow.h"
#include "support/TestMachine.h"
#include "ui/CIspWriterDlg.h"

using namespace zelv4;

namespace {

// WM_NAME and _NET_WM_NAME of the window as the X server holds them, one trimmed
// line each: "WM_NAME(STRING) = \"zelv4\"", "WM_NAME(STRING) =" when empty,
// "WM_NAME:  not found." when missing.
QString XpropNames(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QStringLiteral("WM_NAME"),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0)
        return QStringLiteral("xprop failed: ") + QString::fromLocal8Bit(xprop.readAllStandardError());
    QStringList lines = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n'));
}

// Runs `trigger`, which must end in a modal message box; reads the box's names from
// the server once it is exposed, then closes it.
QString CaptionOnServer(const std::function<void()>& trigger)
{
    QString names = QStringLiteral("no message box appeared");
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !QTest::qWaitForWindowExposed(box))
            return;
        poll.stop();
        names = XpropNames(box->winId());
        box->accept();
    });
    poll.start();
    trigger();
    return names;
}

QString ExpectedCaption(const QString& caption)
{
    const QString value = caption.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(caption);
    return QStringLiteral("WM_NAME(STRING) =%1\n_NET_WM_NAME(UTF8_STRING) =%1").arg(value);
}

}  // namespace

class CIspWriterDlgX11Test : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void autoTimeOutBoxHasEmptyCaptionOthersTheProgramName();
};

void CIspWriterDlgX11Test::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void CIspWriterDlgX11Test::autoTimeOutBoxHasEmptyCaptionOthersTheProgramName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\x01\x02\x03", 3) == 3);
    file.close();

    // A ZEL-V4 on the bus that never shows up as the ISP device: Auto times out.
    test::TestMachine machine;
    machine.UsbTree().AddDefaultBus();
    IspDeviceConnection connection(machine.Hid());
    test::RecordingDevice device(connection);  // Auto's waits return at once
    UsbBusScan bus(machine.UsbBus());
    CIspWriterDlg dlg(device, bus);
    std::optional<std::string> answer;
    dlg.SetFileDialogHook([&](CIspWriterDlg::FileDialogKind, const FileDialogOptions&) { return answer; });
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // The application's boxes: the executable's name.
    QCOMPARE(CaptionOnServer([&] { QTest::mouseClick(dlg.Control(IDC_OPEN_FILE), Qt::LeftButton); }),
             ExpectedCaption(QStringLiteral("zelv4_ui_x11_tests")));

    answer = image.toStdString();
    QTest::mouseClick(dlg.Control(IDC_OPEN_FILE), Qt::LeftButton);
    QCOMPARE(CaptionOnServer([&] { QTest::mouseClick(dlg.Control(IDC_AUTO), Qt::LeftButton); }),
             ExpectedCaption(QString()));
}

QTEST_MAIN(CIspWriterDlgX11Test)
#include "CIspWriterDlgX11Test.moc"
