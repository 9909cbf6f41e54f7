{ Reference for the form benchmark: converts every file of a list with the Free Pascal runtime in
  one process, so that process start-up does not count.
    FormConvertLoop b2t|t2b <list file> [repetitions=3]
  b2t: each file is a binary form file (its resource header is skipped) or a bare TPF0 stream,
       converted by ObjectBinaryToText;
  t2b: each file is a form text, converted by ObjectTextToBinary.
  The list holds one path a line. All files are read into memory first and only the conversions
  are timed; the best total of the repetitions is reported:
    "seconds=<best> input=<bytes> output=<bytes> files=<count>"
  A file that cannot be converted is named on standard error; the exit code is then 1. }
program FormConvertLoop;

{$mode objfpc}{$H+}

uses
  Classes, SysUtils, BaseUnix, Linux;

{ A monotonic clock: the wall clock may be stepped while the benchmark runs. }
function NowMicroseconds: Int64;
var
  ts: TTimeSpec;
begin
  clock_gettime(CLOCK_MONOTONIC, @ts);
  Result := Int64(ts.tv_sec) * 1000000 + ts.tv_nsec div 1000;
end;

{ Where the component stream starts: after the resource header FF 0A 00, name, 00, flags and size. }
function StreamStart(S: TMemoryStream): Int64;
var
  P: PByte;
  I: Int64;
begin
  Result := 0;
  P := S.Memory;
  if (S.Size < 3) or (P[0] <> $FF) or (P[1] <> $0A) or (P[2] <> 0) then
    Exit;
  I := 3;
  while (I < S.Size) and (P[I] <> 0) do
    Inc(I);
  Result := I + 7;
  if Result > S.Size then
    Result := S.Size;
end;

var
  Names: TStringList;
  Inputs: array of TMemoryStream;
  Starts: array of Int64;
  ToText, Failed: Boolean;

{ Reads every file of the list into memory. }
procedure Load(const ListFile: string);
var
  I: Integer;
begin
  Names.LoadFromFile(ListFile);
  SetLength(Inputs, Names.Count);
  SetLength(Starts, Names.Count);
  for I := 0 to Names.Count - 1 do
  begin
    Inputs[I] := TMemoryStream.Create;
    Inputs[I].LoadFromFile(Names[I]);
    if ToText then
      Starts[I] := StreamStart(Inputs[I])
    else
      Starts[I] := 0;
  end;
end;

{ Converts every file once; returns the microseconds taken and adds the output size. }
function ConvertAll(Output: TMemoryStream; Report: Boolean; var OutBytes: Int64): Int64;
var
  I: Integer;
  Start: Int64;
begin
  Start := NowMicroseconds;
  for I := 0 to Names.Count - 1 do
  begin
    Inputs[I].Position := Starts[I];
    { Reused without freeing, as the C++ side reuses its buffer. }
    Output.Position := 0;
    try
      if ToText then
        ObjectBinaryToText(Inputs[I], Output)
      else
        ObjectTextToBinary(Inputs[I], Output);
    except
      on E: Exception do
      begin
        if Report then
          WriteLn(StdErr, Names[I], ': ', E.ClassName, ': ', E.Message);
        Failed := True;
      end;
    end;
    Inc(OutBytes, Output.Position);
  end;
  Result := NowMicroseconds - Start;
end;

var
  Output: TMemoryStream;
  Reps, R, I: Integer;
  Elapsed, Best, InBytes, OutBytes: Int64;
begin
  if (ParamCount < 2) or ((ParamStr(1) <> 'b2t') and (ParamStr(1) <> 't2b')) then
  begin
    WriteLn(StdErr, 'usage: FormConvertLoop b2t|t2b <list file> [repetitions]');
    Halt(2);
  end;
  ToText := ParamStr(1) = 'b2t';
  Reps := StrToIntDef(ParamStr(3), 3);
  if Reps < 1 then
    Reps := 1;
  Failed := False;
  Names := TStringList.Create;
  Output := TMemoryStream.Create;
  try
    try
      Load(ParamStr(2));
      InBytes := 0;
      for I := 0 to Names.Count - 1 do
        Inc(InBytes, Inputs[I].Size - Starts[I]);
      Best := -1;
      for R := 1 to Reps do
      begin
        OutBytes := 0;
        Elapsed := ConvertAll(Output, R = 1, OutBytes);
        if (Best < 0) or (Elapsed < Best) then
          Best := Elapsed;
      end;
      WriteLn(Format('seconds=%d.%.6d input=%d output=%d files=%d',
        [Best div 1000000, Best mod 1000000, InBytes, OutBytes, Names.Count]));
    except
      { The list or one of its files cannot be read. }
      on E: Exception do
      begin
        WriteLn(StdErr, E.ClassName, ': ', E.Message);
        Failed := True;
      end;
    end;
  finally
    for I := 0 to High(Inputs) do
      Inputs[I].Free;
    Output.Free;
    Names.Free;
  end;
  if Failed then
    Halt(1);
end.
