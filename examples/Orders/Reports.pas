unit Reports;

{ Отчёты по заказам — Berichte über Bestellungen — Αναφορές παραγγελιών — 订单报表 }

interface

uses Classes, DBTables;

type
  TReportBuilder = class
  private
    FQuery: TQuery; // запрос TQuery на каждый отчёт
  public
    constructor Create(AOwner: TComponent);
    function Title: string;
  end;

implementation

constructor TReportBuilder.Create(AOwner: TComponent);
begin
  FQuery := TQuery.Create(AOwner);
end;

function TReportBuilder.Title: string;
begin
  Result := 'Ежемесячный отчёт';
end;

end.
