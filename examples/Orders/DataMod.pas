unit DataMod;

interface

uses
  SysUtils, Classes, DB, DBTables;

type
  { The data module holds the one TDatabase of the application; every TQuery and
    TTable of the forms refers to its alias ORDERS_DB. }
  TOrdersData = class(TDataModule)
    OrdersDatabase: TDatabase;
    CustomersTable: TTable;
    CustomersSource: TDataSource;
    OrdersQuery: TQuery;
    OrdersUpdate: TUpdateSQL;
    NextNumberProc: TStoredProc;
    HistoryTable: TTable;
    ArchiveMove: TBatchMove;
    OrdersQueryORDER_NO: TIntegerField;
    OrdersQueryCUSTOMER_NO: TIntegerField;
    OrdersQueryORDER_DATE: TDateTimeField;
    OrdersQueryAMOUNT: TCurrencyField;
    OrdersQuerySTATUS: TStringField;
    procedure OrdersDatabaseLogin(Database: TDatabase; LoginParams: TStrings);
  private
    FLastError: string;
  public
    function OpenAll: Boolean;
    function NextOrderNumber: Integer;
    property LastError: string read FLastError;
  end;

var
  OrdersData: TOrdersData;

implementation

{$R *.dfm}

procedure TOrdersData.OrdersDatabaseLogin(Database: TDatabase; LoginParams: TStrings);
begin
  LoginParams.Values['USER NAME'] := 'clerk';
end;

function TOrdersData.OpenAll: Boolean;
begin
  Result := True;
  try
    OrdersDatabase.Connected := True;
    CustomersTable.Open;
    OrdersQuery.Open;
  except
    on E: EDBEngineError do
    begin
      // A TQuery that cannot open is reported, not fatal: the clerk can retry.
      FLastError := E.Message;
      Result := False;
    end;
  end;
end;

function TOrdersData.NextOrderNumber: Integer;
begin
  NextNumberProc.ExecProc;
  Result := NextNumberProc.ParamByName('RESULT').AsInteger;
end;

end.
