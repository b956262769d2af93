#include "core/base/productinfo.h"
#include "core/platform/mycontext.h"

namespace {

struct BuiltInProduct
{
    const char *productId;
    const char *pathName;
    const char *iconName;
    const char *zhName;
    const char *zhDesc;
    const char *version;
};

// The applications the catalog offers when the platform sends no catalog of its own.
// Every icon ships in iconImg/ beside the program, so iconUrl stays empty.
const BuiltInProduct builtInProducts[] = {
    {"10021", "TessaPdfConverter", "pdfconverter.png", "泰萨PDF转换器", "PDF与Word、Excel、图片互相转换", "3.2.0.8"},
    {"10022", "TessaScreenRecorder", "screenrecorder.png", "泰萨录屏大师", "高清录制屏幕、摄像头与声音", "5.1.2.0"},
    {"10023", "TessaVideoEditor", "videoeditor.png", "泰萨视频剪辑", "简单好用的视频剪辑与特效工具", "4.0.3.1"},
    {"10024", "TessaAudioConverter", "audioconverter.png", "泰萨音频转换", "MP3、WAV、FLAC等格式一键转换", "2.6.0.4"},
    {"10025", "TessaDataRecovery", "datarecovery.png", "泰萨数据恢复", "误删文件、格式化分区轻松找回", "6.3.1.0"},
    {"10026", "TessaImageCompressor", "imagecompressor.png", "泰萨图片压缩", "批量压缩图片，画质清晰体积小", "1.8.2.2"},
    {"10027", "TessaOcrReader", "ocrreader.png", "泰萨文字识别", "图片与扫描件中的文字一键提取", "3.0.0.6"},
    {"10028", "TessaVideoConverter", "videoconverter.png", "泰萨视频转换", "支持上百种视频格式互相转换", "7.2.4.0"},
    {"10029", "TessaCadViewer", "cadviewer.png", "泰萨CAD看图", "快速打开与测量各版本图纸", "2.1.5.3"},
    {"10030", "TessaPartitionAssistant", "partition.png", "泰萨分区助手", "无损调整磁盘分区大小", "4.4.0.0"},
    {"10031", "TessaMindMap", "mindmap.png", "泰萨思维导图", "轻松绘制思维导图与流程图", "1.5.7.1"},
    {"10032", "TessaScreenshot", "screenshot.png", "泰萨截图工具", "截图、标注、贴图与长截图", "2.9.1.0"},
    {"10033", "TessaFileShredder", "fileshredder.png", "泰萨文件粉碎", "彻底删除文件，防止数据恢复", "1.2.0.9"},
    {"10034", "TessaDriverHelper", "driverhelper.png", "泰萨驱动助手", "自动检测并更新硬件驱动", "5.0.6.2"},
};

} // namespace

void MyContext::initDefaultProductInfos()
{
    for (const BuiltInProduct &product : builtInProducts) {
        auto *info = new ProductInfo;
        info->productId = QString::fromUtf8(product.productId);
        info->pathName = QString::fromUtf8(product.pathName);
        info->iconName = QString::fromUtf8(product.iconName);
        info->zhName = QString::fromUtf8(product.zhName);
        info->zhDesc = QString::fromUtf8(product.zhDesc);
        info->version = QString::fromUtf8(product.version);
        info->downloadUrl =
            QLatin1String("http://download.tessaly.invalid/") + info->pathName + QLatin1String("_setup.exe");
        productInfoList.append(info);
    }
}
