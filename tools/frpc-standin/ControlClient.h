#pragma once

#include "StandinConfig.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

// One line on a standard stream, flushed at once so that interleaved stdout and stderr lines
// reach a shared log file in order.
void printLine(FILE *stream, const QString &line);

// Logs in to the control port and keeps the connection: the first failure ends the program
// (exit code 1); after a successful login a dropped connection is retried with a backoff of
// 1 s, doubling, capped at 20 s.
class ControlClient : public QObject {
public:
    explicit ControlClient(StandinConfig config, QObject *parent = nullptr);
    void start();

private:
    void connectNow();
    void sendLogin();
    void handleAnswer(const QByteArray &line);
    void handleLoss(const QString &reason);
    void fail(const QString &reason);

    StandinConfig m_config;
    QTcpSocket m_socket;
    QTimer m_retry;
    bool m_everLoggedIn = false;
    bool m_awaitingAnswer = false;
    int m_backoffMs = 1000;
};
