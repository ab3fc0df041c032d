#pragma once
// The main window on its "USB" entry with the real USB library (loaded by name
// from the program folder, as the program does) on the emulated bus; the
// test plugs and unplugs the emulated units.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "app/config/eeprom_map.h"
#include "app/settings/program_folder.h"
#include "app/settings/program_settings.h"
#include "app/main/start_up.h"
#include "app/mainwindow/form_audit.h"
#include "app/mainwindow/form_main.h"
#include "app/module/kdu_file_list_model.h"
#include "app/widgets/message_seam.h"
#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/knurl_emulator.h"
#include "emulators/usb/module_emulator.h"
#include "emulators/usb/usb_emulators.h"
#include "platform/host.h"
#include "platform/user/message_queue.h"
#include "platform/user/time_limits.h"
#include "tests/app/mainwindow/window_test_start.h"

namespace kovrin {

using emulator::usb::ModuleEmulator;
using emulator::usb::ModuleOptions;
using emulator::usb::UsbFault;
using emulator::usb::UsbFaultKind;

// The names ListKDU shows, first to last ("No Files found" for an empty module).
inline QStringList ListedNames(FormMain& form)
{
    QStringList names;
    QAbstractItemModel* model = form.ListKDU->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString name = model->index(r, KduFileListModel::NameColumn).data().toString();
        names << (name.isEmpty() ? model->index(r, 0).data().toString() : name);  // "No Files found" spans the row
    }
    return names;
}

inline void SelectListed(FormMain& form, const QString& name)
{
    QAbstractItemModel* model = form.ListKDU->model();
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, KduFileListModel::NameColumn).data().toString() == name)
            form.ListKDU->selectionModel()->select(model->index(r, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

class ModuleWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The USB library runs on the emulated bus; the tests plug its devices.
        setenv("QELUSB_BUS", "emulated", 1);
        unsetenv("QELUSB_EMULATED");
        dir = test::NewProgramFolder("module");
        QFile::link(KOVRIN_BIN_DIR "/libqel_usb.so", dir + "/libqel_usb.so");
        ASSERT_TRUE(com1.LinkAs(dir + "/COM1"));  // for the tests that go back to COM 1
        SetMessageHandler([this](const MessageRequest& m) {
            messages.push_back(m);
            return answer;
        });
        ASSERT_TRUE(platform::host::Start(
            {qelusb::kDriverName, qelusb::DriverHardwareIds(), KOVRIN_BIN_DIR}));
        bus = platform::host::EmulatedBus();
        ASSERT_NE(bus, nullptr);
    }

    void TearDown() override
    {
        if (form)
            form->close();
        form.reset();
        for (int port : ports)
            bus->Unplug(port);
        platform::host::WaitIdle();
        VoskUsb_DispatchNotifications();
        FullTimeLimits();
        FormAudit::Default().Unload();
        SetMessageHandler(nullptr);
        QDir(dir).removeRecursively();
    }

    // For the tests of replies that never come: the library's time limits become
    // a second, which an answered exchange stays far below even on a loaded machine.
    static void ShortTimeLimits() { platform::user::SetTimeLimitScale(0.1); }
    static void FullTimeLimits() { platform::user::SetTimeLimitScale(1); }

    // Starts the program as its entry point does, on the "USB" entry.
    void Launch()
    {
        QFile settings(dir + "/Kovrin.ini");
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("9\r\n\r\n\r\n");
        settings.close();
        form = Main();
    }

    int Plug(std::shared_ptr<platform::usb::EmulatedDevice> device)
    {
        const int port = bus->Plug(std::move(device));
        ports.push_back(port);
        platform::host::WaitIdle();
        return port;
    }

    void Unplug(int port)
    {
        bus->Unplug(port);
        std::erase(ports, port);
        platform::host::WaitIdle();
    }

    std::shared_ptr<ModuleEmulator> Module(const char* name = "kdu", bool seeded = true)
    {
        auto made = emulator::usb::MakeUsbEmulator(name, seeded ? DEMO_SEED : "");
        EXPECT_NE(made.Device, nullptr) << made.Error;
        return std::static_pointer_cast<ModuleEmulator>(made.Device);
    }

    bool Connected(int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return form->Label7[0]->text() == "CONNECTED TO KDU"; }, timeoutMs);
    }

    bool MessageShown(const QString& text, int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                for (const MessageRequest& m : messages)
                    if (m.text == text)
                        return true;
                return false;
            },
            timeoutMs);
    }

    // The device notices that have come in are all handled.
    void Settle()
    {
        platform::host::WaitIdle();
        QTest::qWait(0);
        VoskUsb_DispatchNotifications();
        QCoreApplication::processEvents();
    }

    QString dir;
    test::SilentPort com1;
    std::vector<MessageRequest> messages;
    MsgResult answer = MsgResult::Ok;
    platform::usb::EmulatedBus* bus = nullptr;
    std::vector<int> ports;
    std::unique_ptr<FormMain> form;
};

}  // namespace kovrin
