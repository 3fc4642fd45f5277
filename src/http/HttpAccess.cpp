#include "HttpAccess.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QtGlobal>

namespace vlboot::http {

QString HttpToken(const QString& setting)
{
    const QString variable = qEnvironmentVariable(TokenVariable);
    return variable.isEmpty() ? setting : variable;
}

QString TokenProblem(const QString& token)
{
    static const QRegularExpression usable(QStringLiteral("^[A-Za-z0-9._~-]*$"));
    if (token.isEmpty())
        return {};
    if (token.size() < MinTokenLength || !usable.match(token).hasMatch())
        return QStringLiteral("the HTTP token must be at least %1 characters of A-Z, a-z, 0-9, '-', '.', '_' "
                              "and '~' (for example the output of: openssl rand -hex 16)")
            .arg(MinTokenLength);
    return {};
}

Outcome ListenRefusal(const QHostAddress& address, const QString& token)
{
    const QString problem = TokenProblem(token);
    if (!problem.isEmpty())
        return Outcome::Failed(problem);
    if (token.isEmpty() && !address.isLoopback())
        return Outcome::Failed(QStringLiteral("the HTTP server does not listen on %1 without a token: anyone who can reach it "
                              "could steer the station. Set HttpToken= in [Production] of setup.ini or the "
                              "environment variable %2, or listen on 127.0.0.1")
            .arg(address.toString(), QLatin1String(TokenVariable)));
    return Outcome::Ok();
}

bool TokenMatches(QByteArrayView given, const QString& token)
{
    // Both sides hashed first: equal lengths, so the loop below takes the
    // same time whatever the client sent.
    const QByteArray a = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0 && !token.isEmpty();
}

Result<HttpEndpoint> ParseHttpEndpoint(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(R"(^(?:(\[[0-9A-Fa-f:.]+\]|[^:\[\]]+):)?([0-9]{1,5})$)"));
    const auto match = form.match(text);
    const uint port = match.hasMatch() ? match.captured(2).toUInt() : 0;
    QString host = match.captured(1);
    HttpEndpoint endpoint{QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port)};
    if (host == QLatin1String("*"))
        endpoint.address = QHostAddress(QHostAddress::Any);
    else if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
        if (host.startsWith(u'['))
            host = host.mid(1, host.size() - 2);
        endpoint.address = QHostAddress(host);
    }
    if (!match.hasMatch() || port > 65535 || endpoint.address.isNull())
        return Outcome::Failed(QStringLiteral("'%1' is not an address and port for the HTTP server (PORT, ADDRESS:PORT, "
                             "[IPv6]:PORT or *:PORT, with PORT 0..65535)")
                                   .arg(text));
    return endpoint;
}

} // namespace vlboot::http
