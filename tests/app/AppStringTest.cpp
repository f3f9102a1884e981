#include "app/AppString.h"
#include "app/HarrowMsgWndIds.h"
#include "app/HarrowWndIds.h"
#include "ui/controls/Advert.h"

#include "tests/app/TextTable.h"

namespace {

using namespace Velora;
using Test::ExpectTexts;

TEST(AppString, EveryTextOfTheStringTable)
{
    // clang-format off
    ExpectTexts<UINT>(LoadAppString, {
        {kStringTitle, L"Zofti游戏运行库检测v1.0"},
        {kStringChecking, L"正在检测运行库 %d/%d"},
        {kStringCheckingSpare, L"正在检测运行库 %d/%d"},
        {kStringNoneMissing, L"共检测了%d个运行库，您的系统都已安装。"},
        {kStringCheckAgain, L"重新检测"},
        {kStringCheckSummary, L"共检测了%d个运行库，其中%d个已安装，%d个未安装。"},
        {kStringRepairNow, L"立即修复"},
        {kStringTickToRepair, L"请勾选要修复的运行库。"},
        {kStringRepairing, L"正在修复运行库 %d/%d"},
        {kStringDownloading, L"正在下载运行库 %d/%d"},
        {kStringInstalling, L"正在安装运行库 %d/%d"},
        {kStringAllRepaired, L"共修复了%d个运行库，全部修复成功。"},
        {kStringRepairAgain, L"重新修复"},
        {kStringRepairSummary, L"共修复了%d个运行库，%d个修复成功，%d个修复失败"},
        {1346, L""}, // a gap inside a block: empty
        {kStringCancel, L"取 消"},
        {kStringCheckCancelled, L"检测已被取消，建议您重新进行完整的检测。"},
        {kStringCheckCancelledMissing, L"检测已被取消，已发现缺少%d个运行库，建议您重新进行完整的检测。"},
        {1350, L""},
        {kStringResourcesFailed, L"加载资源失败"},
        {kStringNamedStep, L"%s {c #487fb3}%s{/c}"},
        {kStringSpeed, L"速度:%s/s  已下载:%s"},
        {kStringRowInstalled, L"{c #6e6e6e}已安装{/c}"},
        {kStringRowMissing, L"{c #f78325}未安装{/c}"},
        {kStringRowRepaired, L"{c #6e6e6e}修复成功{/c}"},
        {kStringRowRepairFailed, L"{c #f78325}修复失败{/c}"},
        {kStringRowRepairing, L"{c #5ebf03}正在修复{/c}"},
        {kStringPromptTitle, L"提示"},
        {kStringPackageSize, L"大小： "},
        {kStringTorrentsFailed, L"BT库初始化失败"},
        {kStringErrorTitle, L"错误"},
        {kStringAdvertClose, L"关闭"},
        // No text and no block: the id itself, so the gap is visible.
        {0, L""},
        {1399, L"1399"},
    });
    // clang-format on
}

} // namespace
