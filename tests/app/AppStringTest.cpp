#include "app/AppString.h"
#include "ui/controls/Advert.h"

#include "tests/app/TextTable.h"

namespace {

using Velora::LoadAppString;
using Velora::Test::ExpectTexts;

TEST(AppString, EveryTextOfTheStringTable)
{
    ExpectTexts<UINT>(LoadAppString, {
        {1332, L"Zofti游戏运行库检测v1.0"},
        {1333, L"正在检测运行库 %d/%d"},
        {1334, L"正在检测运行库 %d/%d"},
        {1335, L"共检测了%d个运行库，您的系统都已安装。"},
        {1336, L"重新检测"},
        {1337, L"共检测了%d个运行库，其中%d个已安装，%d个未安装。"},
        {1338, L"立即修复"},
        {1339, L"请勾选要修复的运行库。"},
        {1340, L"正在修复运行库 %d/%d"},
        {1341, L"正在下载运行库 %d/%d"},
        {1342, L"正在安装运行库 %d/%d"},
        {1343, L"共修复了%d个运行库，全部修复成功。"},
        {1344, L"重新修复"},
        {1345, L"共修复了%d个运行库，%d个修复成功，%d个修复失败"},
        {1346, L""},
        {1347, L"取 消"},
        {1348, L"检测已被取消，建议您重新进行完整的检测。"},
        {1349, L"检测已被取消，已发现缺少%d个运行库，建议您重新进行完整的检测。"},
        {1350, L""},
        {1351, L"加载资源失败"},
        {1352, L"%s {c #487fb3}%s{/c}"},
        {1353, L"速度:%s/s  已下载:%s"},
        {1354, L"{c #6e6e6e}已安装{/c}"},
        {1355, L"{c #f78325}未安装{/c}"},
        {1356, L"{c #6e6e6e}修复成功{/c}"},
        {1357, L"{c #f78325}修复失败{/c}"},
        {1358, L"{c #5ebf03}正在修复{/c}"},
        {1359, L"提示"},
        {1360, L"大小： "},
        {Velora::kStringTorrentsFailed, L"BT库初始化失败"},
        {Velora::kStringErrorTitle, L"错误"},
        {Velora::kStringAdvertClose, L"关闭"},
        // No text and no block: the id itself, so the gap is visible.
        {0, L""},
        {1399, L"1399"},
    });
}

} // namespace
