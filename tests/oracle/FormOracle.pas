{ Reference reader and writer for the form stream tests, on the Free Pascal runtime.
    FormOracle t2b IN OUT   form text -> binary (ObjectTextToBinary)
    FormOracle b2t IN OUT   binary -> form text (ObjectBinaryToText)
    FormOracle tree IN      the object tree of a binary stream, read with the runtime's own
                            binary reader, one item a line, with no trace of the formatting
  Integers print without their width and the True/False/nil/Null words the same whether stored
  as their own value type or as an identifier, since the text cannot tell these apart. Strings of
  ASCII print as text whatever their type; others print as bytes (byte strings) or as UTF-16
  code units (wide strings). Floats print as the bytes of their type. }
program FormOracle;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils;

var
  Reader: TBinaryObjectReader;

procedure Line(Depth: Integer; const S: string);
begin
  WriteLn(StringOfChar(' ', 2 * Depth), S);
end;

function HexOf(P: PByte; Count: Integer): string;
var
  I: Integer;
begin
  Result := '';
  for I := 0 to Count - 1 do
    Result := Result + IntToHex(P[I], 2);
end;

function AsciiText(const S: RawByteString): string;
var
  I: Integer;
begin
  Result := '''';
  for I := 1 to Length(S) do
    if (S[I] < ' ') or (S[I] = '''') then
      Result := Result + '#' + IntToStr(Ord(S[I]))
    else
      Result := Result + S[I];
  Result := Result + '''';
end;

function IsAscii(const S: RawByteString): Boolean;
var
  I: Integer;
begin
  for I := 1 to Length(S) do
    if Ord(S[I]) > 127 then
      Exit(False);
  Result := True;
end;

function ByteString(const S: RawByteString): string;
begin
  if IsAscii(S) then
    Result := 'str ' + AsciiText(S)
  else
    Result := 'bytes ' + HexOf(PByte(PChar(S)), Length(S));
end;

function WideText(const W: UnicodeString): string;
var
  I, K: Integer;
  Narrow: RawByteString;
begin
  Narrow := '';
  for I := 1 to Length(W) do
  begin
    if Ord(W[I]) > 127 then
    begin
      Result := 'units';
      for K := 1 to Length(W) do
        Result := Result + ' ' + IntToHex(Ord(W[K]), 4);
      Exit;
    end;
    Narrow := Narrow + Chr(Ord(W[I]));
  end;
  Result := 'str ' + AsciiText(Narrow);
end;

function Word(const S: string): string;
begin
  if SameText(S, 'True') then Result := 'True'
  else if SameText(S, 'False') then Result := 'False'
  else if SameText(S, 'nil') then Result := 'nil'
  else if SameText(S, 'Null') then Result := 'Null'
  else Result := S;
end;

function ReadInteger(ValueType: TValueType): Int64;
begin
  case ValueType of
    vaInt8: Result := Reader.ReadInt8;
    vaInt16: Result := Reader.ReadInt16;
    vaInt32: Result := Reader.ReadInt32;
    vaInt64: Result := Reader.ReadInt64;
  else
    raise EReadError.CreateFmt('value type %d is not an integer', [Ord(ValueType)]);
  end;
end;

procedure DumpProperties(Depth: Integer); forward;

procedure DumpValue(Depth: Integer; ValueType: TValueType);
var
  E: Extended;
  Si: Single;
  D: TDateTime;
  C: Int64;
  S, Names: string;
  Data: TMemoryStream;
begin
  case ValueType of
    vaInt8, vaInt16, vaInt32, vaInt64: Line(Depth, 'int ' + IntToStr(ReadInteger(ValueType)));
    vaExtended:
      begin
        E := Reader.ReadFloat;
        Line(Depth, 'extended ' + HexOf(@E, 10));
      end;
    vaSingle:
      begin
        Si := Reader.ReadSingle;
        Line(Depth, 'single ' + HexOf(@Si, 4));
      end;
    vaDate:
      begin
        D := Reader.ReadDate;
        Line(Depth, 'date ' + HexOf(@D, 8));
      end;
    vaCurrency:
      begin
        { The runtime's ReadCurrency converts the stored integer instead of taking its bits. }
        Reader.Read(C, 8);
        Line(Depth, 'currency ' + IntToStr(LEtoN(C)));
      end;
    vaString, vaLString: Line(Depth, ByteString(Reader.ReadString(ValueType)));
    vaWString: Line(Depth, WideText(Reader.ReadWideString));
    vaUTF8String: Line(Depth, WideText(UTF8Decode(Reader.ReadString(vaUTF8String))));
    vaIdent, vaFalse, vaTrue, vaNil, vaNull:
      Line(Depth, 'ident ' + Word(Reader.ReadIdent(ValueType)));
    vaSet:
      begin
        Names := '';
        while True do
        begin
          S := Reader.ReadStr;
          if S = '' then Break;
          if Names <> '' then Names := Names + ',';
          Names := Names + S;
        end;
        Line(Depth, 'set [' + Names + ']');
      end;
    vaBinary:
      begin
        Data := TMemoryStream.Create;
        try
          Reader.ReadBinary(Data);
          Line(Depth, 'binary ' + IntToStr(Data.Size) + ' ' + HexOf(Data.Memory, Data.Size));
        finally
          Data.Free;
        end;
      end;
    vaList:
      begin
        Line(Depth, 'list');
        while Reader.NextValue <> vaNull do
          DumpValue(Depth + 1, Reader.ReadValue);
        Reader.ReadValue;
        Line(Depth, 'end');
      end;
    vaCollection:
      begin
        Line(Depth, 'collection');
        while Reader.NextValue <> vaNull do
        begin
          ValueType := Reader.ReadValue;
          if ValueType = vaList then
            Line(Depth + 1, 'item')
          else
          begin
            Line(Depth + 1, 'item order ' + IntToStr(ReadInteger(ValueType)));
            if Reader.ReadValue <> vaList then
              raise EReadError.Create('collection item without a list');
          end;
          DumpProperties(Depth + 2);
          Line(Depth + 1, 'end');
        end;
        Reader.ReadValue;
        Line(Depth, 'end');
      end;
  else
    raise EReadError.CreateFmt('unknown value type %d', [Ord(ValueType)]);
  end;
end;

procedure DumpProperties(Depth: Integer);
begin
  while Reader.NextValue <> vaNull do
  begin
    Line(Depth, 'property ' + Reader.BeginProperty);
    DumpValue(Depth + 1, Reader.ReadValue);
  end;
  Reader.ReadValue;
end;

procedure DumpObject(Depth: Integer);
var
  Flags: TFilerFlags;
  ChildPos: Integer;
  ClassName, Name, Head: string;
begin
  Flags := [];
  ChildPos := 0;
  Reader.BeginComponent(Flags, ChildPos, ClassName, Name);
  Head := 'object ' + ClassName + ' name=' + Name;
  if ffInherited in Flags then Head := Head + ' inherited';
  if ffInline in Flags then Head := Head + ' inline';
  if ffChildPos in Flags then Head := Head + ' pos=' + IntToStr(ChildPos);
  Line(Depth, Head);
  DumpProperties(Depth + 1);
  while Reader.NextValue <> vaNull do
    DumpObject(Depth + 1);
  Reader.ReadValue;
  Line(Depth, 'end');
end;

procedure Tree(const InName: string);
var
  Input: TFileStream;
begin
  Input := TFileStream.Create(InName, fmOpenRead or fmShareDenyNone);
  try
    Reader := TBinaryObjectReader.Create(Input, 4096);
    try
      Reader.ReadSignature;
      DumpObject(0);
    finally
      Reader.Free;
    end;
  finally
    Input.Free;
  end;
end;

procedure Convert(const Mode, InName, OutName: string);
var
  Input, Output: TFileStream;
begin
  Input := TFileStream.Create(InName, fmOpenRead or fmShareDenyNone);
  try
    Output := TFileStream.Create(OutName, fmCreate);
    try
      if Mode = 't2b' then
        ObjectTextToBinary(Input, Output)
      else
        ObjectBinaryToText(Input, Output);
    finally
      Output.Free;
    end;
  finally
    Input.Free;
  end;
end;

begin
  try
    if (ParamCount = 3) and ((ParamStr(1) = 't2b') or (ParamStr(1) = 'b2t')) then
      Convert(ParamStr(1), ParamStr(2), ParamStr(3))
    else if (ParamCount = 2) and (ParamStr(1) = 'tree') then
      Tree(ParamStr(2))
    else
    begin
      WriteLn(StdErr, 'usage: FormOracle t2b|b2t IN OUT | tree IN');
      Halt(2);
    end;
  except
    on E: Exception do
    begin
      WriteLn(StdErr, E.ClassName, ': ', E.Message);
      Halt(1);
    end;
  end;
end.
