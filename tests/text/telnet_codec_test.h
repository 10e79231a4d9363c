#pragma once
// The Telnet codec's test program, over two files: the codec itself here and in
// tst_telnet_codec.cpp, the com-port option's messages in telnet_codec_com_port.cpp.

#include "text/telnet_codec.h"

#include <QByteArray>
#include <QObject>

class TstTelnetCodec : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void randomStreamsRoundTrip();
    void encodeData_data();
    void encodeData();
    void lineSettingsMessages_data();
    void lineSettingsMessages();
    void clientMessages_data();
    void clientMessages();
    void serverReplies_data();
    void serverReplies();
    void commEvents_data();
    void commEvents();
    void negotiation_data();
    void negotiation();
    void negotiationsSettle();
};

// Bytes from hex text; blanks between the bytes are skipped.
inline QByteArray hex(const char *text) {
    return QByteArray::fromHex(text);
}
