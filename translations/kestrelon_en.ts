<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Message</name>
    <message>
        <source>%1。%2</source>
        <comment>Join</comment>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>FileReason</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>メモリが足りません</source>
        <comment>OutOfMemory</comment>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>キャンセルしました</source>
        <comment>Cancelled</comment>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>%1</source>
        <comment>Internal</comment>
        <translation>%1</translation>
    </message>
    <message>
        <source>開けません: %1</source>
        <comment>CannotOpen</comment>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>読み込めません: %1</source>
        <comment>CannotRead</comment>
        <translation>cannot read: %1</translation>
    </message>
    <message>
        <source>作成できません: %1</source>
        <comment>CannotCreate</comment>
        <translation>cannot create: %1</translation>
    </message>
    <message>
        <source>書き込めません: %1</source>
        <comment>CannotWrite</comment>
        <translation>cannot write: %1</translation>
    </message>
    <message>
        <source>メモリが足りないため書き込めません</source>
        <comment>CannotWriteNoMemory</comment>
        <translation>cannot write: not enough memory</translation>
    </message>
    <message>
        <source>ファイルのアクセス権を保てません: %1</source>
        <comment>CannotKeepPermissions</comment>
        <translation>cannot keep the file&apos;s permissions: %1</translation>
    </message>
    <message>
        <source>通常のファイルではありません（%1）</source>
        <comment>NotRegularFile</comment>
        <translation>not a regular file (%1)</translation>
    </message>
    <message>
        <source>通常のファイルではありません（%1）</source>
        <comment>OutputNotRegularFile</comment>
        <translation>is not a regular file (%1)</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <comment>KindFolder</comment>
        <translation>a folder</translation>
    </message>
    <message>
        <source>FIFO</source>
        <comment>KindFifo</comment>
        <translation>a FIFO</translation>
    </message>
    <message>
        <source>キャラクタデバイス</source>
        <comment>KindCharDevice</comment>
        <translation>a character device</translation>
    </message>
    <message>
        <source>ブロックデバイス</source>
        <comment>KindBlockDevice</comment>
        <translation>a block device</translation>
    </message>
    <message>
        <source>ソケット</source>
        <comment>KindSocket</comment>
        <translation>a socket</translation>
    </message>
    <message>
        <source>ファイル以外のもの</source>
        <comment>KindOther</comment>
        <translation>not a file</translation>
    </message>
    <message>
        <source>ファイルではなくフォルダの名前です</source>
        <comment>NamesFolder</comment>
        <translation>names a folder, not a file</translation>
    </message>
    <message>
        <source>ファイルが %1 バイトあり、上限の %2 バイトを超えています</source>
        <comment>FileTooLarge</comment>
        <translation>the file is %1 bytes, more than the %2 bytes allowed</translation>
    </message>
    <message>
        <source>読み込み中にファイルが大きくなりました</source>
        <comment>FileGrew</comment>
        <translation>the file grew while it was read</translation>
    </message>
    <message>
        <source>ファイルを読み込めません</source>
        <comment>FileUnreadable</comment>
        <translation>the file cannot be read</translation>
    </message>
    <message>
        <source>読み込めません（コード %1）</source>
        <comment>CannotBeReadCode</comment>
        <translation>cannot be read (code %1)</translation>
    </message>
    <message>
        <source>書き込めません</source>
        <comment>CannotBeWritten</comment>
        <translation>cannot be written</translation>
    </message>
    <message>
        <source>%1が大きすぎて計算できません（整数のオーバーフロー）</source>
        <comment>IntOverflow</comment>
        <translation>integer overflow: %1</translation>
    </message>
    <message>
        <source>計算が数値の範囲を超えました（浮動小数点のオーバーフロー）: %1</source>
        <comment>FloatOverflow</comment>
        <translation>floating-point overflow: %1</translation>
    </message>
    <message>
        <source>%1の長さが負です</source>
        <comment>NegativeLength</comment>
        <translation>negative length of %1</translation>
    </message>
</context>
</TS>
