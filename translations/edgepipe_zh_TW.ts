<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
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
    <name>Memory</name>
    <message>
        <source>not enough memory; close other programs or work on a smaller picture</source>
        <translation>記憶體不足；請關閉其他程式，或改用較小的圖片</translation>
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
