#pragma once

#include "StandinConfig.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

// One line on a standard stream, flushed at once so that interleaved stdout and stderr lines
// reach a shared log file in order.
void printLine(FILE *stream, const QString &line);
// One line in frpc's own log format and colours (level 'I', 'W' or 'E'), on standard output.
void frpcLog(char level, const char *source, const QString &text);

// Logs in to the control port and keeps the connection: the first failure ends the program
// (exit code 1); after a successful login a dropped connection is retried with a backoff of
// 1 s, doubling, capped at 20 s. A proxy the server refuses by name or route is reported as
// frpc does and asked for again 30 s later; after a login each local service is dialled once,
// as a visitor would, and a refusal reported in frpc's words.
class ControlClient : public QObject {
public:
    explicit ControlClient(StandinConfig config, QObject *parent = nullptr);
    void start();

private:
    void connectNow();
    void sendLogin();
    void handleAnswer(const QByteArray &line);
    void handleLoss(const QString &reason);
    void refuseProxies(const QString &reason);
    void visitLocalServices();
    void fail(const QString &reason);

    StandinConfig m_config;
    QTcpSocket m_socket;
    QTimer m_retry;
    bool m_everLoggedIn = false;
    bool m_awaitingAnswer = false;
    int m_backoffMs = 1000;
};
