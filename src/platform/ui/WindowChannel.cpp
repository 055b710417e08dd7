#include "ui/WindowChannel.h"

#include <unistd.h>

#include <QByteArray>
#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

#include "winapi/Log.h"

namespace hv {
namespace {

QString SocketName(const std::string& title) {
    return QStringLiteral("halvory-%1-%2")
        .arg(getuid())
        .arg(QString::fromLatin1(QByteArray::fromStdString(title).toHex()));
}

}  // namespace

std::optional<UINT> DecodeWindowRequest(std::string_view request, UINT accepted) {
    if (request.size() != kWindowRequestBytes) {
        return std::nullopt;
    }
    UINT message = 0;
    for (const char byte : request) {
        message = (message << 8) | static_cast<unsigned char>(byte);
    }
    if (message != accepted) {
        return std::nullopt;
    }
    return message;
}

WindowPublication::WindowPublication(const std::string& title, HWND hwnd, UINT accepted)
    : m_server(std::make_unique<QLocalServer>()), m_hwnd(hwnd), m_accepted(accepted) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = SocketName(title);
    // Only the holder of the single-instance lock publishes: a socket left
    // by a crashed run is stale.
    QLocalServer::removeServer(name);
    m_server->listen(name);
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                while (socket->bytesAvailable() >= qint64{kWindowRequestBytes}) {
                    const QByteArray request = socket->read(kWindowRequestBytes);
                    const std::optional<UINT> message = DecodeWindowRequest(
                        std::string_view(request.data(), request.size()), m_accepted);
                    if (!message) {
                        LogWarning("window channel: dropped a request for another message");
                        socket->abort();
                        return;
                    }
                    const qint64 result = SendMessageA(m_hwnd, *message, 0, 0);
                    QByteArray reply;
                    QDataStream(&reply, QIODevice::WriteOnly) << result;
                    socket->write(reply);
                    socket->flush();
                }
            });
        }
    });
}

WindowPublication::~WindowPublication() = default;

bool WindowPublication::IsListening() const {
    return m_server->isListening();
}

std::optional<LRESULT> SendToPublishedWindow(const std::string& title, UINT message,
                                             int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(SocketName(title));
    if (!socket.waitForConnected(timeoutMs)) {
        return std::nullopt;
    }
    QByteArray request;
    QDataStream(&request, QIODevice::WriteOnly) << static_cast<quint32>(message);
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return std::nullopt;
    }
    while (socket.bytesAvailable() < 8) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return std::nullopt;
        }
    }
    qint64 result = 0;
    QDataStream(socket.read(8)) >> result;
    return static_cast<LRESULT>(result);
}

}  // namespace hv
