#include "brellfin/ui/stringtable.h"

#include <algorithm>
#include <iterator>

namespace BrellfinUi {

namespace {

struct Entry {
    int id;
    const char* english;
    const char* chinese;
};

// Sorted by id.
const Entry kTable[] = {
    {102, "connect success.", "连接成功."},
    {103, "connect failed!", "连接失败"},
    {104, "USB communication", "USB通讯"},
    {105, "Warning", "警告"},
    {106, "Information", "提示"},
    {107, "Error", "错误"},
    {108, "file", "文件"},
    {109, "folder", "文件夹"},
    {111, "Are you sure to delete this", "是否删除该"},
    {112, "multi-projects", "多项目"},
    {113, "Are you sure to delete the currently selected multi-projects?", "确定删除当前选中的多个项目？"},
    {115, "deleted successfully.", "删除成功."},
    {116, "deleted failed.", "删除失败."},
    {117, "created successfully.", "创建成功."},
    {118, "created failed.", "创建失败."},
    {120, "The upload task has been deleted.", "上传任务已全部删除."},
    {121, "upload failed. The Reasons of failure：", "上传失败,失败原因："},
    {122, "Path error! The input path must start with '$VEXA_DIR_USER!'", "路径错误！输入路径必须存在!"},
    {123, "Path error! The input path support absolute path only !", "路径错误！仅支持绝对路径!"},
    {124, "Remote folder cannot be displayed!", "无法显示远程文件夹!"},
    {125, "export", "导出"},
    {126, "export file exists", "导出文件存在"},
    {127, "The empty file was exported successfully.", "空文件导出成功."},
    {128, "log export successful.", "日志导出成功."},
    {129, "File opening failed!", "文件打开失败！"},
    {130, "Are you sure to clear log records?", "确定清空全部日志记录？"},
    {131, "Confirm", "确认"},
    {132, "Omber File Operation", "Omber文件操作工具"},
    {133, "Waiting for the connection.", "等待连接."},
    {134, "connect", "连接"},
    {135, "disconnect", "断开"},
    {136, "connected", "已连接"},
    {137, "disconnected", "已断开."},
    {138, "disconnected", "未连接"},
    {139, "Desktop", "桌面"},
    {140, "Name", "文件名称"},
    {141, "Status", "状态"},
    {142, "Current progress", "当前进度"},
    {143, "Local path", "本地路径"},
    {144, "Current operation", "当前操作"},
    {145, "Remote path", "远程路径"},
    {146, "Sure to delete", "确定删除"},
    {147, "Currently in the transfer state, do you need to stop the transfer and delete the record?",
     "当前处于传输状态，是否需要停止传输并删除记录？"},
    {148, "Transmission", "传输"},
    {149, "Log", "日志"},
    {150, "The system could not find the specified path!", "系统找不到指定的路径!"},
    {151, "Name", "名称"},
    {152, "Size", "大小"},
    {153, "Type", "类型"},
    {154, "Data modified", "修改时间"},
    {155, "The download task has resumed.", "下载任务已继续."},
    {156, "Downloading is in progress. Do you need to stop and delete records?",
     "正在执行下载任务，是否需要停止并删除记录？"},
    {157, "The download task has been cancelled.", "下载任务已取消."},
    {159, "Unable to rename:The specified file already exists, please enter a different name!",
     "无法重命名:指定文件已存在,请输入其他名称!"},
    {160, "Rename failed.", "重命名失败."},
    {161, "rename to", "重命名为"},
    {162, "folder paste failed.", "文件夹粘贴失败"},
    {163, "Successfully copied to", "成功复制到"},
    {164, "file paste failed.", "文件粘贴失败."},
    {165, "Uploading file, please wait...", "正在上传文件，请稍后..."},
    {166, "file already exists, does it cover?", "文件已存在，是否覆盖？"},
    {167, "Download file exists", "下载 文件存在"},
    {168, "folder deleted failed", "文件夹删除失败."},
    {170, "file deleted failed.", "文件删除失败."},
    {172, "New folder", "新建文件夹"},
    {174, "Folder created failed.", "文件夹创建失败."},
    {175, "The download task has been deleted", "下载任务已全部删除"},
    {176, "download failed, The reason of failure:", "下载失败,失败原因："},
    {182, "connecting", "连接中"},
    {183, "USB-communication connect failed!", "USB通讯 连接失败！"},
    {184, "USB-communication connect success!", "USB通讯 连接成功！"},
    {185, "The upload task has resumed.", "上传任务已继续."},
    {186, "Uploading task in progress, do you need to stop and delete records?",
     "正在执行上传任务，是否需要停止并删除记录？"},
    {187, "The upload task has been cancelled.", "上传任务已取消."},
    {188, "Downloading file, please wait...", "正在下载文件，请稍后..."},
    {189, "Cannot download to virtual folder!", "不能下载到虚拟文件夹!"},
    {192, "file created failed.", "文件创建失败."},
    {193, "upload complete.", "上传完成."},
    {194, "started...", "已启动..."},
    {195, "download task suspended.", "下载任务已暂停."},
    {196, "upload task suspended.", "上传任务已暂停."},
    {197, "download complete.", "下载完成."},
    {198, "Network error", "网络错误"},
    {199, "File error", "文件错误"},
    {200, "Check the error", "校验错误"},
    {201, "Interrupt error", "中断错误"},
    {202, "Stop error", "停止错误"},
    {203, "Disk shortage error", "磁盘不足错误"},
    {204, "ready", "就绪"},
    {205, "ongoing", "进行中"},
    {206, "paused", "已暂停"},
    {207, "completed", "已完成"},
    {208, "upload", "上传"},
    {209, "download", "下载"},
    {210, "Shortcut", "快捷方式"},
    {211, "-Copy", "-副本"},
    {212, "Upload file exists", "上传 文件存在"},
    {213, "(", "（"},
    {214, ")", "）"},
    {215, "The password is wrong, please re-enter!", "密码输入错误，请重新输入！"},
    {216, "The password is correct.", "密码输入正确。"},
};

} // namespace

const char* stringTableText(int id, Language language)
{
    const auto found = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                        [](const Entry& entry, int wanted) { return entry.id < wanted; });
    if (found == std::end(kTable) || found->id != id)
        return nullptr;
    return language == Language::Chinese ? found->chinese : found->english;
}

} // namespace BrellfinUi
