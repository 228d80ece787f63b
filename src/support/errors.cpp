#include "support/errors.h"

#include "support/messages.h"
#include "support/openfiles.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <new>

AppError::AppError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), number_(number), description_(description)
{
}

namespace {
int numberFor(const QFileDevice& file)
{
    switch (file.error()) {
    case QFileDevice::OpenError: {
        const QFileInfo info(file.fileName());
        if (!info.dir().exists())
            return errnum::PathNotFound;
        return info.exists() ? errnum::PermissionDenied : errnum::FileNotFound;
    }
    case QFileDevice::ResourceError:
        return errnum::DiskFull;
    case QFileDevice::PermissionsError:
        return errnum::PermissionDenied;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::FatalError:
        return errnum::DeviceIo;
    default:
        return errnum::PathFileAccess;
    }
}
}  // namespace

FileError::FileError(const QFileDevice& file, const QString& what)
    : AppError(numberFor(file), QStringLiteral("%1: %2 (%3)").arg(what, file.fileName(), file.errorString()))
{
}

FileError FileError::fromErrno(int error, const QString& what, const QString& file)
{
    int number = errnum::DeviceIo;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        number = errnum::DiskFull;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = errnum::PermissionDenied;
        break;
    case ENOENT:
        number = QFileInfo(file).dir().exists() ? errnum::FileNotFound : errnum::PathNotFound;
        break;
    default:
        break;
    }
    return FileError(number,
                     QStringLiteral("%1: %2 (%3)").arg(what, file, QString::fromLocal8Bit(std::strerror(error))));
}

DialogAnswer ErrorDialog(const AppError& error)
{
    const QString text =
        error.number() == errnum::OutOfMemory ? QStringLiteral("Insuficient memory") : error.description();
    const QString title = QStringLiteral("Error ") + QString::number(error.number());
    const Answer answer =
        messages().show(Message{text, title, Icon::None, Buttons::AbortRetryIgnore, Answer::Abort, {}, {}});
    switch (answer) {
    case Answer::Retry:
        return DialogAnswer::Retry;
    case Answer::Ignore:
        return DialogAnswer::Ignore;
    default:
        return DialogAnswer::Abort;
    }
}

StepOutcome guarded(const std::function<void()>& step)
{
    for (;;) {
        DialogAnswer answer;
        try {
            step();
            return StepOutcome::Done;
        } catch (const AppError& e) {
            answer = ErrorDialog(e);
        } catch (const std::bad_alloc&) {
            answer = ErrorDialog(AppError(errnum::OutOfMemory, QStringLiteral("Out of memory")));
        }
        switch (answer) {
        case DialogAnswer::Retry:
            continue;
        case DialogAnswer::Ignore:
            return StepOutcome::Ignored;
        case DialogAnswer::Abort:
            openfiles::closeAll();
            return StepOutcome::Aborted;
        }
    }
}
