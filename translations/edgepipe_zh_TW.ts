<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>Batch</name>
    <message>
        <source>cannot hold the stage files (%1)</source>
        <translation>無法存放步驟檔案（%1）</translation>
    </message>
    <message>
        <source>cannot make or open this folder (%1)</source>
        <translation>無法建立或開啟此資料夾（%1）</translation>
    </message>
    <message>
        <source>waiting for another edgepipe run writing into %1</source>
        <translation>另一個 edgepipe 正在寫入 %1，等待中</translation>
    </message>
    <message>
        <source>%1 s</source>
        <extracomment>A time in seconds</extracomment>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <extracomment>A list of stage files: the names before, then the next one</extracomment>
        <translation>%1 和 %2</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1、%2</translation>
    </message>
    <message>
        <source>[%1/%2] %3 done, %4 failed; now %5</source>
        <extracomment>%1 is the picture&apos;s number of %2, %5 its name</extracomment>
        <translation>[%1/%2] 完成 %3 個，失敗 %4 個；正在處理 %5</translation>
    </message>
    <message>
        <source>[%1/%2] %3 done, %4 failed; now %5; %6 a picture, about %7 left</source>
        <translation>[%1/%2] 完成 %3 個，失敗 %4 個；正在處理 %5；每個圖檔 %6，大約還剩 %7</translation>
    </message>
    <message>
        <source>[%1/%2] %3: done in %4, stage files in %5</source>
        <extracomment>%1 is the picture&apos;s number of %2, %3 its name, %4 the time, %5 its folder</extracomment>
        <translation>[%1/%2] %3：完成，花了 %4，步驟檔案放在 %5</translation>
    </message>
    <message>
        <source>[%1/%2] %3: failed: %4</source>
        <extracomment>%1 is the picture&apos;s number of %2, %3 its name, %4 why it failed</extracomment>
        <translation>[%1/%2] %3：失敗：%4</translation>
    </message>
    <message>
        <source>%1 picture: %2 done, %3 failed</source>
        <translation>共 %1 個圖檔：完成 %2 個，失敗 %3 個</translation>
    </message>
    <message>
        <source>%1 pictures: %2 done, %3 failed</source>
        <translation>共 %1 個圖檔：完成 %2 個，失敗 %3 個</translation>
    </message>
    <message>
        <source>%1; its folder: %2</source>
        <extracomment>%1 is the line so far, with the count of pictures done and failed</extracomment>
        <translation>%1；資料夾：%2</translation>
    </message>
    <message>
        <source>%1; the last one&apos;s folder: %2</source>
        <translation>%1；最後一個圖檔的資料夾：%2</translation>
    </message>
    <message>
        <source>%1, %2 not done (stopped by %3 in [%4/%5] %6, before its first stage file)</source>
        <extracomment>%1 is the line so far, with the count of pictures done and failed; %3 what stopped the batch</extracomment>
        <translation>%1，未完成 %2 個（處理 [%4/%5] %6 時被 %3 中止，還沒寫出任何步驟檔案）</translation>
    </message>
    <message>
        <source>%1, %2 not done (stopped by %3 in [%4/%5] %6, with %7 written in %8)</source>
        <extracomment>As the one before; %7 names the stage files written, %8 their folder</extracomment>
        <translation>%1，未完成 %2 個（處理 [%4/%5] %6 時被 %3 中止，已在 %8 寫好 %7）</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>unknown option &quot;%1&quot;</source>
        <translation>不認得的選項「%1」</translation>
    </message>
    <message>
        <source>--threshold, --output and --quiet go with --batch</source>
        <translation>--threshold、--output 和 --quiet 只能和 --batch 一起使用</translation>
    </message>
    <message>
        <source>--batch needs at least one picture</source>
        <translation>--batch 至少需要一個圖檔</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 後面需要一個值</translation>
    </message>
    <message>
        <source>the threshold is a whole number from 0 to 255, not &quot;%1&quot;</source>
        <translation>門檻值必須是 0 到 255 的整數，「%1」不是</translation>
    </message>
    <message>
        <source>Try &quot;edgepipe --help&quot; for the options.</source>
        <translation>執行「edgepipe --help」可以看到所有選項。</translation>
    </message>
    <message>
        <source>opens one picture at a time; ignored: %1</source>
        <translation>一次只能開啟一個圖檔；已略過：%1</translation>
    </message>
    <message>
        <source>--output needs a folder, not an empty name</source>
        <translation>--output 需要一個資料夾，不能是空的名稱</translation>
    </message>
    <message>
        <source>--output names a file, not a folder: %1</source>
        <translation>--output 指定的是檔案，不是資料夾：%1</translation>
    </message>
    <message>
        <source>Usage: edgepipe [PICTURE]
       edgepipe --batch [--threshold T] [--output DIR] [--quiet] PICTURE...

edgepipe turns a colour picture into its grey picture, a smoothed picture and a black-and-white
edge map, one button at a time: LOAD opens a picture (BMP, PNG, JPEG or GIF); 灰階 makes the grey
(luma) picture; 濾波 smooths with five 3 x 3 median passes; SOBEL draws the edge map at the
threshold set with the scroll bar. Each stage is written as a 24-bit BMP file into the working
directory, overwritten without asking: A.bmp (grey), B.bmp (smoothed), C.bmp (edges; black and
white inside, its one-pixel border keeps the grey levels of the picture it was drawn from).

Moving the scroll bar previews the edges of the loaded picture on the right and writes nothing.
SOBEL draws the edges of whatever the right side shows, so after a preview it draws the edges of
the preview. For C.bmp at a chosen threshold: set the scroll bar first, then 灰階, 濾波, SOBEL.

With PICTURE, the window opens with that picture loaded, as LOAD would load it. Without a
display, the window can run on a virtual one: xvfb-run edgepipe

Batch mode needs no window and no display:
  --batch          for each PICTURE, do what LOAD, 灰階, 濾波 and SOBEL do in a fresh window
                   and write A.bmp, B.bmp and C.bmp; a folder stands for the pictures in it
  --threshold T    the edge threshold, a whole number from 0 to 255 (default 128)
  --output DIR     where the stage files go (default: the working directory). One picture
                   writes into DIR itself; several write into DIR/NAME each, NAME being the
                   picture&apos;s file name without its extension and leading dots (&quot;picture&quot;
                   when nothing is left). When a NAME is already taken by an earlier
                   picture on the command line, the later one gets NAME-2, or NAME-3 and
                   so on, the first that is free.
  --quiet          print nothing but failures
A picture that fails is reported with the reason, and the batch goes on with the next one.
Progress and the closing summary go to standard error. Exit status: 0 when every picture was
done, 1 when any failed, 2 for bad usage, 130, 143 or 129 when stopped by Ctrl-C, SIGTERM or
SIGHUP (after the stage file being written is whole).

Other options:
  -h, --help       show this help and exit
  --version        show the version and exit
Qt&apos;s own options (-platform NAME, -style NAME, ...) work as in every Qt program.
</source>
        <translation>用法：edgepipe [圖檔]
      edgepipe --batch [--threshold T] [--output 資料夾] [--quiet] 圖檔...

edgepipe 把一張彩色圖片做成灰階圖、平滑圖和黑白邊緣圖，每按一個按鈕做一步：
LOAD 開啟圖片（BMP、PNG、JPEG 或 GIF）；灰階 做出灰階（亮度）圖；濾波 用五次
3 x 3 中值濾波把圖片變平滑；SOBEL 依捲軸設定的門檻值畫出邊緣圖。每一步的結果都
以 24 位元 BMP 檔寫進工作目錄，不經詢問直接覆蓋：A.bmp（灰階）、B.bmp（平滑）、
C.bmp（邊緣；內部只有黑白兩色，最外圈一個像素保留來源圖片的灰階）。

移動捲軸會在右側預覽載入圖片的邊緣，不寫入任何檔案。SOBEL 畫的是右側目前顯示的
圖片的邊緣，所以預覽之後再按，畫的就是預覽圖的邊緣。想用選好的門檻值做出 C.bmp：
先設定捲軸，再依序按 灰階、濾波、SOBEL。

指定圖檔時，視窗開啟後就載入該圖片，和用 LOAD 載入一樣。沒有顯示器時，視窗可以
在虛擬顯示器上執行：xvfb-run edgepipe

批次模式不需要視窗，也不需要顯示器：
  --batch          對每個圖檔做 LOAD、灰階、濾波 和 SOBEL 在新視窗裡做的事，
                   並寫出 A.bmp、B.bmp 和 C.bmp；給的是資料夾時，代表其中所有的圖檔
  --threshold T    邊緣門檻值，0 到 255 的整數（預設 128）
  --output 資料夾  各步驟檔案存放的地方（預設：工作目錄）。只有一個圖檔時直接
                   寫進這個資料夾；有多個圖檔時各自寫進「資料夾/名稱」，名稱是
                   圖檔的檔名去掉副檔名和開頭的點（什麼都不剩時為「picture」）。
                   名稱已被命令列上較前面的圖檔用掉時，後面的圖檔改用「名稱-2」、
                   「名稱-3」……中第一個還沒用過的。
  --quiet          只顯示失敗的訊息
處理失敗的圖檔會連同原因一起回報，批次會接著處理下一個。進度和最後的總結寫到
標準錯誤輸出。結束狀態：全部完成為 0，有任何失敗為 1，用法錯誤為 2，被 Ctrl-C、
SIGTERM 或 SIGHUP 中止時分別為 130、143 或 129（會等正在寫入的檔案寫完才停）。

其他選項：
  -h, --help       顯示這份說明後結束
  --version        顯示版本後結束
Qt 本身的選項（-platform 名稱、-style 名稱……）和所有 Qt 程式一樣可以使用。
</translation>
    </message>
</context>
<context>
    <name>Display</name>
    <message>
        <source>%1 is not set</source>
        <extracomment>%1 is an environment variable&apos;s name</extracomment>
        <translation>沒有設定 %1</translation>
    </message>
    <message>
        <source>Qt&apos;s platform &quot;%1&quot; could not start</source>
        <translation>Qt 的平台「%1」無法啟動</translation>
    </message>
    <message>
        <source>the Wayland display &quot;%1&quot; cannot be used</source>
        <translation>無法使用 Wayland 顯示器「%1」</translation>
    </message>
    <message>
        <source>the X display &quot;%1&quot; cannot be opened</source>
        <translation>無法開啟 X 顯示器「%1」</translation>
    </message>
    <message>
        <source>%1, and %2</source>
        <extracomment>Two reasons why no display could be opened</extracomment>
        <translation>%1，也%2</translation>
    </message>
    <message>
        <source>Qt has no platform plugin &quot;%1&quot; (asked for by %2)</source>
        <extracomment>%2 is -platform or QT_QPA_PLATFORM</extracomment>
        <translation>Qt 沒有「%1」這個平台外掛（由 %2 指定）</translation>
    </message>
    <message>
        <source>the ones it has in %1: none</source>
        <extracomment>%1 is a folder, %2 the names of the platform plugins in it</extracomment>
        <translation>%1 裡沒有任何平台外掛</translation>
    </message>
    <message>
        <source>the ones it has in %1: %2</source>
        <translation>%1 裡有的平台外掛：%2</translation>
    </message>
    <message>
        <source>no display to show the window on (%1); start it from a desktop session, or without a display: xvfb-run edgepipe</source>
        <translation>沒有可以顯示視窗的顯示器（%1）；請從桌面環境啟動，沒有顯示器時可以用：xvfb-run edgepipe</translation>
    </message>
</context>
<context>
    <name>Files</name>
    <message>
        <source>no such file in %1; %2 makes it</source>
        <extracomment>%2 is the caption of the button that writes the file</extracomment>
        <translation>%1 裡沒有這個檔案；請先按「%2」產生</translation>
    </message>
    <message>
        <source>cannot write in the working folder (%1)</source>
        <translation>無法寫入工作資料夾（%1）</translation>
    </message>
    <message>
        <source>cannot write in %1 (%2)</source>
        <translation>無法寫入資料夾 %1（%2）</translation>
    </message>
    <message>
        <source>%1 there is a folder</source>
        <extracomment>%1 is the file&apos;s name, in the folder the message names before</extracomment>
        <translation>裡面的 %1 是資料夾</translation>
    </message>
    <message>
        <source>%1 there is not a regular file</source>
        <translation>裡面的 %1 不是一般檔案</translation>
    </message>
    <message>
        <source>%1; the old file is kept as %2</source>
        <extracomment>%1 says why a file could not be written</extracomment>
        <translation>%1；舊檔案保留為 %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <extracomment>A file&apos;s name, then what went wrong with it</extracomment>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>找不到這個檔案</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是一般檔案</translation>
    </message>
    <message>
        <source>cannot read (%1)</source>
        <translation>無法讀取（%1）</translation>
    </message>
    <message>
        <source>No file name given</source>
        <translation>沒有指定檔名</translation>
    </message>
    <message>
        <source>is a folder, not a picture</source>
        <translation>這是資料夾，不是圖檔</translation>
    </message>
</context>
<context>
    <name>Memory</name>
    <message>
        <source>not enough memory; close other programs or work on a smaller picture</source>
        <translation>記憶體不足；請關閉其他程式，或改用較小的圖片</translation>
    </message>
</context>
<context>
    <name>PictureKinds</name>
    <message>
        <source>Bitmaps</source>
        <translation>點陣圖</translation>
    </message>
    <message>
        <source>PNG pictures</source>
        <translation>PNG 圖片</translation>
    </message>
    <message>
        <source>JPEG pictures</source>
        <translation>JPEG 圖片</translation>
    </message>
    <message>
        <source>GIF pictures</source>
        <translation>GIF 圖片</translation>
    </message>
</context>
<context>
    <name>Pictures</name>
    <message>
        <source>%1 x %2 pixels announced, %3 bytes needed, the file has %4</source>
        <translation>標頭記載 %1 x %2 像素，需要 %3 位元組，檔案只有 %4 位元組</translation>
    </message>
    <message>
        <source>the pixels start inside the header</source>
        <translation>像素資料的起點在標頭之內</translation>
    </message>
    <message>
        <source>the file shrank while it was read</source>
        <translation>讀取途中檔案變小了</translation>
    </message>
    <message>
        <source>the file ends inside its header</source>
        <translation>檔案在標頭中途就結束了</translation>
    </message>
    <message>
        <source>a 24-bit bitmap cannot be made grey</source>
        <translation>24 位元點陣圖不能轉成灰階點陣圖</translation>
    </message>
    <message>
        <source>the file ends inside an extension block</source>
        <translation>檔案在延伸區塊中途就結束了</translation>
    </message>
    <message>
        <source>the picture data ends early</source>
        <translation>圖片資料提早結束</translation>
    </message>
    <message>
        <source>the file ends before the picture</source>
        <translation>檔案在圖片開始之前就結束了</translation>
    </message>
    <message>
        <source>unknown block %1 at byte %2</source>
        <translation>位元組位置 %2 有不明的區塊 %1</translation>
    </message>
    <message>
        <source>cannot read as a %1 picture (%2)</source>
        <translation>無法當作 %1 圖片讀取（%2）</translation>
    </message>
    <message>
        <source>not one, or of a layout not read here</source>
        <translation>不是這種圖片，或是不支援的格式</translation>
    </message>
    <message>
        <source>picture too large (%1 x %2 pixels; edgepipe reads up to %3 megapixels)</source>
        <translation>圖片太大（%1 x %2 像素；edgepipe 最多讀取 %3 百萬像素）</translation>
    </message>
    <message>
        <source>empty picture (0 x 0 pixels)</source>
        <translation>圖片是空的（0 x 0 像素）</translation>
    </message>
    <message>
        <source>damaged or cut short (%1)</source>
        <extracomment>%1 says what is missing or wrong, in words of this program or of Qt&apos;s picture readers</extracomment>
        <translation>檔案損壞或不完整（%1）</translation>
    </message>
    <message>
        <source>unknown picture kind (the name has no extension)</source>
        <translation>不認得的圖片種類（檔名沒有副檔名）</translation>
    </message>
    <message>
        <source>unknown picture kind &quot;%1&quot;</source>
        <translation>不認得的圖片種類「%1」</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>The loaded picture, stretched to the view</source>
        <translation>載入的圖片，拉伸到填滿檢視區</translation>
    </message>
    <message>
        <source>Source picture</source>
        <translation>原始圖片</translation>
    </message>
    <message>
        <source>The last result: grey, smoothed, edges or a threshold preview</source>
        <translation>最近一次的結果：灰階圖、平滑圖、邊緣圖或門檻值預覽</translation>
    </message>
    <message>
        <source>Result picture</source>
        <translation>結果圖片</translation>
    </message>
    <message>
        <source>Opens a picture (BMP, PNG, JPEG or GIF) into the left view; writes nothing. A picture file dropped on the window opens the same way</source>
        <translation>在左側檢視區開啟圖片（BMP、PNG、JPEG 或 GIF），不寫入任何檔案。把圖檔拖放到視窗上也會用同樣的方式開啟</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>載入</translation>
    </message>
    <message>
        <source>Grey picture (luma) of the loaded picture; writes %1</source>
        <translation>做出載入圖片的灰階圖（亮度）；寫入 %1</translation>
    </message>
    <message>
        <source>Grey (灰階)</source>
        <translation>灰階</translation>
    </message>
    <message>
        <source>Smooths the loaded picture&apos;s blue channel with five 3 x 3 median passes, shown in grey; needs %1, writes %2</source>
        <translation>用五次 3 x 3 中值濾波把載入圖片的藍色通道變平滑，以灰階顯示；需要 %1，寫入 %2</translation>
    </message>
    <message>
        <source>Filter (濾波)</source>
        <translation>濾波</translation>
    </message>
    <message>
        <source>Black-and-white edge map, at the scroll bar&apos;s threshold, of the picture on the right (the smoothed one, or the threshold preview when the bar moved after 濾波); needs %1, writes %2</source>
        <translation>依捲軸的門檻值畫出右側圖片的黑白邊緣圖（右側是平滑圖；在「濾波」之後移動過捲軸時，則是門檻值預覽）；需要 %1，寫入 %2</translation>
    </message>
    <message>
        <source>Sobel</source>
        <translation>Sobel 邊緣圖</translation>
    </message>
    <message>
        <source>The edge threshold, 0 to 255: moving it previews the loaded picture&apos;s edges on the right and writes nothing; SOBEL uses it</source>
        <translation>邊緣門檻值，0 到 255：移動捲軸會在右側預覽載入圖片的邊緣，不寫入任何檔案；SOBEL 會用這個值</translation>
    </message>
    <message>
        <source>Edge threshold</source>
        <translation>邊緣門檻值</translation>
    </message>
    <message>
        <source>The edge threshold set with the scroll bar; typing here changes nothing</source>
        <translation>用捲軸設定的邊緣門檻值；在這裡輸入不會改變任何東西</translation>
    </message>
    <message>
        <source>Edge threshold value</source>
        <translation>目前的邊緣門檻值</translation>
    </message>
    <message>
        <source>Ends edgepipe; writes nothing</source>
        <translation>結束 edgepipe，不寫入任何檔案</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>關閉</translation>
    </message>
    <message>
        <source>%1, %2 x %3</source>
        <translation>%1，%2 x %3</translation>
    </message>
    <message>
        <source>All pictures (%1)</source>
        <translation>所有圖片 (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有檔案 (*)</translation>
    </message>
</context>
</TS>
