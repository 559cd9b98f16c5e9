#include "brellfin/ui/stringtable.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace BrellfinUi {

namespace {

struct Entry {
    StringId id;
    const char* english;
    const char* chinese;
};

// In the order of the entries' numbers, which the lookup below relies on.
constexpr Entry kTable[] = {
    {StringId::ConnectSuccess, "connect success.", "连接成功."},
    {StringId::ConnectFailed, "connect failed!", "连接失败"},
    {StringId::UsbCommunication, "USB communication", "USB通讯"},
    {StringId::Warning, "Warning", "警告"},
    {StringId::Information, "Information", "提示"},
    {StringId::Error, "Error", "错误"},
    {StringId::File, "file", "文件"},
    {StringId::Folder, "folder", "文件夹"},
    {StringId::DeleteThisQuestion, "Are you sure to delete this", "是否删除该"},
    {StringId::MultiProjects, "multi-projects", "多项目"},
    {StringId::DeleteMultiProjectsQuestion, "Are you sure to delete the currently selected multi-projects?",
     "确定删除当前选中的多个项目？"},
    {StringId::DeletedSuccessfully, "deleted successfully.", "删除成功."},
    {StringId::DeletedFailed, "deleted failed.", "删除失败."},
    {StringId::CreatedSuccessfully, "created successfully.", "创建成功."},
    {StringId::CreatedFailed, "created failed.", "创建失败."},
    {StringId::UploadTasksDeleted, "The upload task has been deleted.", "上传任务已全部删除."},
    {StringId::UploadFailedReason, "upload failed. The Reasons of failure：", "上传失败,失败原因："},
    {StringId::PathMustStartWithUserDir, "Path error! The input path must start with '$VEXA_DIR_USER!'",
     "路径错误！输入路径必须存在!"},
    {StringId::PathMustBeAbsolute, "Path error! The input path support absolute path only !",
     "路径错误！仅支持绝对路径!"},
    {StringId::RemoteFolderNotShown, "Remote folder cannot be displayed!", "无法显示远程文件夹!"},
    {StringId::Export, "export", "导出"},
    {StringId::ExportFileExists, "export file exists", "导出文件存在"},
    {StringId::EmptyFileExported, "The empty file was exported successfully.", "空文件导出成功."},
    {StringId::LogExported, "log export successful.", "日志导出成功."},
    {StringId::FileOpenFailed, "File opening failed!", "文件打开失败！"},
    {StringId::ClearLogQuestion, "Are you sure to clear log records?", "确定清空全部日志记录？"},
    {StringId::Confirm, "Confirm", "确认"},
    {StringId::WindowTitle, "Omber File Operation", "Omber文件操作工具"},
    {StringId::WaitingForConnection, "Waiting for the connection.", "等待连接."},
    {StringId::Connect, "connect", "连接"},
    {StringId::Disconnect, "disconnect", "断开"},
    {StringId::Connected, "connected", "已连接"},
    {StringId::Disconnected, "disconnected", "已断开."},
    {StringId::NotConnected, "disconnected", "未连接"},
    {StringId::Desktop, "Desktop", "桌面"},
    {StringId::QueueColumnName, "Name", "文件名称"},
    {StringId::QueueColumnStatus, "Status", "状态"},
    {StringId::QueueColumnProgress, "Current progress", "当前进度"},
    {StringId::QueueColumnLocalPath, "Local path", "本地路径"},
    {StringId::QueueColumnOperation, "Current operation", "当前操作"},
    {StringId::QueueColumnRemotePath, "Remote path", "远程路径"},
    {StringId::SureToDelete, "Sure to delete", "确定删除"},
    {StringId::StopTransferAndDeleteQuestion,
     "Currently in the transfer state, do you need to stop the transfer and delete the record?",
     "当前处于传输状态，是否需要停止传输并删除记录？"},
    {StringId::TransmissionPage, "Transmission", "传输"},
    {StringId::LogPage, "Log", "日志"},
    {StringId::PathNotFound, "The system could not find the specified path!", "系统找不到指定的路径!"},
    {StringId::ListColumnName, "Name", "名称"},
    {StringId::ListColumnSize, "Size", "大小"},
    {StringId::ListColumnType, "Type", "类型"},
    {StringId::ListColumnModified, "Data modified", "修改时间"},
    {StringId::DownloadResumed, "The download task has resumed.", "下载任务已继续."},
    {StringId::StopDownloadAndDeleteQuestion, "Downloading is in progress. Do you need to stop and delete records?",
     "正在执行下载任务，是否需要停止并删除记录？"},
    {StringId::DownloadCancelled, "The download task has been cancelled.", "下载任务已取消."},
    {StringId::RenameTargetExists, "Unable to rename:The specified file already exists, please enter a different name!",
     "无法重命名:指定文件已存在,请输入其他名称!"},
    {StringId::RenameFailed, "Rename failed.", "重命名失败."},
    {StringId::RenamedTo, "rename to", "重命名为"},
    {StringId::FolderPasteFailed, "folder paste failed.", "文件夹粘贴失败"},
    {StringId::CopiedTo, "Successfully copied to", "成功复制到"},
    {StringId::FilePasteFailed, "file paste failed.", "文件粘贴失败."},
    {StringId::UploadingPleaseWait, "Uploading file, please wait...", "正在上传文件，请稍后..."},
    {StringId::FileExistsOverwriteQuestion, "file already exists, does it cover?", "文件已存在，是否覆盖？"},
    {StringId::DownloadFileExists, "Download file exists", "下载 文件存在"},
    {StringId::FolderDeleteFailed, "folder deleted failed", "文件夹删除失败."},
    {StringId::FileDeleteFailed, "file deleted failed.", "文件删除失败."},
    {StringId::NewFolder, "New folder", "新建文件夹"},
    {StringId::FolderCreateFailed, "Folder created failed.", "文件夹创建失败."},
    {StringId::DownloadTasksDeleted, "The download task has been deleted", "下载任务已全部删除"},
    {StringId::DownloadFailedReason, "download failed, The reason of failure:", "下载失败,失败原因："},
    {StringId::Connecting, "connecting", "连接中"},
    {StringId::UsbConnectFailed, "USB-communication connect failed!", "USB通讯 连接失败！"},
    {StringId::UsbConnectSuccess, "USB-communication connect success!", "USB通讯 连接成功！"},
    {StringId::UploadResumed, "The upload task has resumed.", "上传任务已继续."},
    {StringId::StopUploadAndDeleteQuestion, "Uploading task in progress, do you need to stop and delete records?",
     "正在执行上传任务，是否需要停止并删除记录？"},
    {StringId::UploadCancelled, "The upload task has been cancelled.", "上传任务已取消."},
    {StringId::DownloadingPleaseWait, "Downloading file, please wait...", "正在下载文件，请稍后..."},
    {StringId::CannotDownloadToVirtualFolder, "Cannot download to virtual folder!", "不能下载到虚拟文件夹!"},
    {StringId::FileCreateFailed, "file created failed.", "文件创建失败."},
    {StringId::UploadComplete, "upload complete.", "上传完成."},
    {StringId::Started, "started...", "已启动..."},
    {StringId::DownloadSuspended, "download task suspended.", "下载任务已暂停."},
    {StringId::UploadSuspended, "upload task suspended.", "上传任务已暂停."},
    {StringId::DownloadComplete, "download complete.", "下载完成."},
    {StringId::NetworkError, "Network error", "网络错误"},
    {StringId::FileError, "File error", "文件错误"},
    {StringId::CheckError, "Check the error", "校验错误"},
    {StringId::InterruptError, "Interrupt error", "中断错误"},
    {StringId::StopError, "Stop error", "停止错误"},
    {StringId::DiskShortageError, "Disk shortage error", "磁盘不足错误"},
    {StringId::StateReady, "ready", "就绪"},
    {StringId::StateOngoing, "ongoing", "进行中"},
    {StringId::StatePaused, "paused", "已暂停"},
    {StringId::StateCompleted, "completed", "已完成"},
    {StringId::DirectionUpload, "upload", "上传"},
    {StringId::DirectionDownload, "download", "下载"},
    {StringId::Shortcut, "Shortcut", "快捷方式"},
    {StringId::CopySuffix, "-Copy", "-副本"},
    {StringId::UploadFileExists, "Upload file exists", "上传 文件存在"},
    {StringId::OpenParenthesis, "(", "（"},
    {StringId::CloseParenthesis, ")", "）"},
    {StringId::PasswordWrong, "The password is wrong, please re-enter!", "密码输入错误，请重新输入！"},
    {StringId::PasswordCorrect, "The password is correct.", "密码输入正确。"},
    {StringId::StateUnchecked, "not checked", "未检查"},
    {StringId::ExistenceCheckFailed, "could not be checked on the panel: nothing was sent or changed.",
     "无法在面板上检查：未发送也未更改任何内容。"},
};

constexpr bool numbersAscend()
{
    for (std::size_t i = 1; i < std::size(kTable); ++i) {
        if (int(kTable[i - 1].id) >= int(kTable[i].id))
            return false;
    }
    return true;
}

// Every name has a number of its own (two names of one number, or a number
// changed past its neighbours, stop the build), and the lookup's order holds.
static_assert(numbersAscend(), "string table rows must be in ascending order of their distinct numbers");

} // namespace

const char* stringTableText(StringId id, Language language)
{
    const auto found = std::lower_bound(
        std::begin(kTable), std::end(kTable), id,
        [](const Entry& entry, StringId wanted) { return int(entry.id) < int(wanted); });
    if (found == std::end(kTable) || found->id != id)
        return nullptr;
    return language == Language::Chinese ? found->chinese : found->english;
}

} // namespace BrellfinUi
