// The port field of both TCP dialogs as the operator leaves it: a port that is none keeps
// the dialog open and never reaches the configuration file.
#include <QLineEdit>
#include <memory>

#include "core/texts.h"
#include "network/tcp_client_dialog.h"
#include "network/tcp_server_dialog.h"
#include "network_fixture.h"

namespace tqv::test {
namespace {

class PortField : public NetworkTest {
  protected:
    // The dialog and its port field.
    std::pair<std::unique_ptr<QDialog>, QLineEdit*> make(bool server) {
        if (server) {
            auto d = std::make_unique<TcpServerDialog>(context, nullptr);
            QLineEdit* field = d->port_field();
            return {std::move(d), field};
        }
        auto d = std::make_unique<TcpClientDialog>(context, nullptr);
        QLineEdit* field = d->port_field();
        return {std::move(d), field};
    }
};

TEST_F(PortField, OnlyAValidPortClosesTheDialogAndIsSaved) {
    const struct {
        const char* typed;
        bool closes;
        const char* saved;
    } cases[] = {{"70000", false, "-"}, {"99999", false, "-"}, {"0", false, "-"},
                 {"", false, "-"},      {"65535", true, "65535"}, {"09004", true, "09004"}};
    for (bool server : {false, true}) {
        for (const auto& c : cases) {
            config.set(kConfigSection, "port_number", "-");
            ui.clear();
            auto [dialog, field] = make(server);
            dialog->show();
            field->clear();
            QTest::keyClicks(field, QString::fromLatin1(c.typed));
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
            const std::string what = std::string(server ? "server " : "client ") + c.typed;
            EXPECT_EQ(dialog->isVisible(), !c.closes) << what;
            EXPECT_EQ(ini("port_number"), c.saved) << what;
            EXPECT_EQ(ui.texts(), c.closes ? std::vector<std::string>{}
                                           : std::vector<std::string>{text::kPortInvalid})
                << what;
            if (c.closes) {
                EXPECT_EQ(slot_text(model.port_number), c.saved) << what;
            }
        }
    }
}

}  // namespace
}  // namespace tqv::test
